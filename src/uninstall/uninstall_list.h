#pragma once
// The uninstall page: the entries of the list of installed programs (subkeys
// of "Uninstall" under HKEY_LOCAL_MACHINE), and their removal, which takes
// effect at once, without a question.

#include "engine/main_form.h"
#include "engine/store/registry.h"

namespace frambul::uninstall {

// One line per entry, its `DisplayName` or else its key's name, and the key
// names in `UninstallKeys`; without the uninstall key the list is disabled.
// A `DisplayName` that is no string throws and ends the load.
void LoadUninstallList(store::TRegistry& registry, engine::MainForm& form);

// "Удалить Из Списка": removes the key of each selected line with all its
// subkeys, and the line; the other lines keep their order and selection.
void BitBtn7Click(store::TRegistry& registry, engine::MainForm& form);

}  // namespace frambul::uninstall
