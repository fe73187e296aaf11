#include "startup/menu.h"

namespace frambul::startup {

StartUpMenuState StartUpMnuPopup(const StartupEntry* selected, const StartUpMenuState& previous) {
  StartUpMenuState menu = previous;
  MenuItemState* items[] = {&menu.N1,         &menu.N2,         &menu.RegMnuItem, &menu.RegPersMnuItem,
                            &menu.WinIniMnuItem, &menu.N5,      &menu.AddMnuItem, &menu.DelMnuItem,
                            &menu.N3,         &menu.RenameMnuItem, &menu.ComMnuItem};
  for (MenuItemState* item : items) item->Enabled = selected != nullptr;
  menu.AddMnuItem.Enabled = true;
  if (!selected) return menu;

  menu.N1.Checked = selected->Enabled;
  const bool folder = selected->Source == StartupSource::Menu;
  for (MenuItemState* item : {&menu.RegMnuItem, &menu.RegPersMnuItem, &menu.WinIniMnuItem, &menu.ComMnuItem,
                              &menu.DelMnuItem})
    item->Enabled = !folder;
  if (!folder) {
    menu.RegMnuItem.Checked = selected->Source == StartupSource::Common;
    menu.RegPersMnuItem.Checked = selected->Source == StartupSource::Personal;
    menu.WinIniMnuItem.Checked = selected->Source == StartupSource::WinIni;
  }
  menu.RenameMnuItem.Enabled = IsRegistry(selected->Source);
  return menu;
}

}  // namespace frambul::startup
