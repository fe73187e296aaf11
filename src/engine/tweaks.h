#pragma once
// The registry tweaks of the Misc and Useful pages: shortcut arrows, numeric
// tails, password caching, the Logitech middle button, the recycle bin's name,
// bitmap thumbnails, the menu delay, the Windows install path and the viewer
// for files of unknown type.

#include <string>

#include "engine/main_form.h"
#include "engine/store/registry.h"

namespace frambul::engine {

// Removes values that older versions left and the load does not use, and a
// Logitech mouse key that holds no settings. Root HKEY_LOCAL_MACHINE.
void CleanUpLeftovers(store::TRegistry& registry);

// Fills the nine controls; disables those whose key is missing. Unguarded
// reads throw and end the load where they stand.
void LoadTweaks(store::TRegistry& registry, MainForm& form);

// Writes the nine settings from their controls.
void ApplyTweaks(store::TRegistry& registry, const MainForm& form);

// The menu delay's bar moved, by the user or by the load: the bar is marked.
void MenuShowDelayTrkChange(MainForm& form, int position);

// A program chosen with "Обзор" for files of unknown type, by its Windows
// path: it opens them with the file's name as its argument; the edit is marked.
void DefaultViewerChosen(MainForm& form, const std::string& windowsPath);

// The bitmap icon rebuilt from the open command of Paint.Picture: the program's
// path up to and including ".EXE", without an opening quote, followed by ",1".
std::string BitmapIconFromCommand(const std::string& command);

}  // namespace frambul::engine
