#pragma once
// The pop-up menu of the startup list: which items can be used and which are
// checked, from the entry it opens on.

#include "startup/entry.h"

namespace frambul::startup {

struct MenuItemState {
  bool Enabled = true;
  bool Checked = false;
  bool operator==(const MenuItemState&) const = default;
};

// The eleven items of StartUpMnu in menu order; separators included.
struct StartUpMenuState {
  MenuItemState N1;              // "Автозапуск", checked when the entry runs
  MenuItemState N2;              // separator
  MenuItemState RegMnuItem{true, true};  // the three sources, one group of radio items
  MenuItemState RegPersMnuItem;
  MenuItemState WinIniMnuItem;
  MenuItemState N5;              // separator
  MenuItemState AddMnuItem;      // "Добавить"
  MenuItemState DelMnuItem;      // "Убрать Совсем"
  MenuItemState N3;              // separator
  MenuItemState RenameMnuItem;   // "Переименовать"
  MenuItemState ComMnuItem;      // "Подробно"
  bool operator==(const StartUpMenuState&) const = default;
};

// The states as the menu opens on `selected` (null: no row selected, only
// "Добавить" can be used). A check mark that the entry does not decide (a
// Startup folder entry's source, or no entry at all) stays as in `previous`.
StartUpMenuState StartUpMnuPopup(const StartupEntry* selected, const StartUpMenuState& previous);

}  // namespace frambul::startup
