#pragma once
// The four places a startup entry is kept in, read into the list when the
// window opens and rewritten from it on OK:
//   "Реестр (Общий)"   HKEY_LOCAL_MACHINE \Software\Microsoft\Windows\CurrentVersion\Run (enabled), Run- (disabled)
//   "Реестр (Личный)"  the same keys under HKEY_CURRENT_USER
//   "Win.Ini"          [Windows] Load= and Run= (enabled), Run-= (disabled): programs separated by spaces
//   "Меню"             the files of the Startup folder (Shell Folders\Startup); hidden ones are disabled
// On a Wine prefix [Windows] of Win.Ini lives in the registry (IniFileMapping);
// the profile-file accessor follows that.

#include <memory>
#include <string_view>

#include "engine/store/inifile.h"
#include "engine/store/machine.h"
#include "engine/store/registry.h"
#include "startup/startup_list.h"

namespace frambul::startup {

// Appends the entries of the Run and Run- keys of the registry's current
// root, in the store's order; a root without Run contributes nothing, one
// without Run- only its enabled entries. A value that is not text throws.
void LoadRunKeys(store::TRegistry& registry, StartupList& list);

// Appends one entry per file of the Startup folder named by the open
// Shell Folders key; sub-folders are not listed. A missing or empty
// folder value means no entries.
void LoadStartupFolder(store::TRegistry& registry, store::Machine& machine, StartupList& list);

// Appends one entry per program of a Win.Ini list; only spaces separate them.
void AddWinIniEntries(StartupList& list, std::string_view text, bool enabled);

// The load step: the registry keys of both roots, the Startup folder (the
// page is disabled when its Shell Folders key is missing) and the Win.Ini
// lists, in this order, into a fresh list, which is marked complete only
// when all of it was read. `winIni` gets the Win.Ini accessor that the save
// step writes through, as soon as it is made. Errors of the store end it
// where they stand.
void LoadStartupList(store::TRegistry& registry, store::Machine& machine, StartupList& list,
                     std::unique_ptr<store::TIniFile>& winIni);

// Leaves in the Run and Run- keys of the registry's current root exactly the
// entries of that root. Throws ERegistryException, and changes nothing, when
// either key can neither be opened nor made.
void SaveRunKeys(store::TRegistry& registry, const StartupList& list);

// The save step, on every OK: both roots' Run keys, the attributes of the
// Startup folder's files, the Win.Ini lists, in this order. Writes nothing of
// a list the load did not complete; throws ERefused with the NameClash
// message before writing anything. Without a kept accessor it makes its own.
void SaveStartupList(store::TRegistry& registry, store::Machine& machine, store::TIniFile* winIni,
                     const StartupList& list);

}  // namespace frambul::startup
