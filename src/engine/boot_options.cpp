#include "engine/boot_options.h"

#include <cstdint>
#include <exception>

#include "engine/store/integer.h"

namespace frambul::engine {
namespace {

constexpr const char* kSection = "Options";

// One switch of the section: the key, the text a missing key reads as, the
// text that shows the box checked, and the number a checked box writes.
struct Switch {
  CheckBox MainForm::*box;
  const char* key;
  const char* missing;
  const char* checkedWhen;
  int32_t checkedWrites;
};

// In the order of the load and the apply; the boot delay stands between
// "BootMenu" and "DblSpace".
constexpr Switch kBefore[] = {
    {&MainForm::LogoChk, "Logo", "1", "0", 0},
    {&MainForm::NetworkChk, "Network", "0", "1", 1},
    {&MainForm::AutoScanChk, "AutoScan", "1", "0", 0},
    {&MainForm::BootMultiChk, "BootMulti", "0", "1", 1},
    {&MainForm::BootGUIChk, "BootGUI", "1", "0", 0},
    {&MainForm::BootWinChk, "BootWin", "1", "0", 0},
    {&MainForm::BootMenuChk, "BootMenu", "0", "1", 1},
};
constexpr Switch kAfter[] = {
    {&MainForm::DblSpaceChk, "DblSpace", "1", "0", 0},
    {&MainForm::DoubleBufferChk, "DoubleBuffer", "1", "0", 0},
    {&MainForm::BootKeysChk, "BootKeys", "1", "0", 0},
};

void LoadSwitch(store::TIniFile& file, MainForm& form, const Switch& s) {
  CheckBox& box = form.*s.box;
  box.Checked = file.ReadText(kSection, s.key, s.missing) == s.checkedWhen;
  box.Loaded = true;
  if (s.box == &MainForm::BootMultiChk) BootMultiChkClick(form);
}

void ApplySwitch(store::TIniFile& file, const MainForm& form, const Switch& s) {
  const CheckBox& box = form.*s.box;
  if (!box.Loaded) return;
  // Compressed drives go by two names; both follow the one box.
  bool drives = s.box == &MainForm::DblSpaceChk;
  if (box.Checked) {
    file.WriteNumber(kSection, s.key, s.checkedWrites);
    if (drives) file.WriteNumber(kSection, "DrvSpace", s.checkedWrites);
  } else {
    file.RemoveKey(kSection, s.key);
    if (drives) file.RemoveKey(kSection, "DrvSpace");
  }
}

void ApplyBootDelay(store::TIniFile& file, const Edit& edit) {
  if (!edit.Loaded) return;
  try {
    // 2 is what a missing key means, so it needs no line of its own.
    if (store::StrToInt(edit.Text) == 2) {
      file.RemoveKey(kSection, "BootDelay");
    } else {
      file.WriteText(kSection, "BootDelay", edit.Text);
    }
  } catch (const std::exception&) {
    file.RemoveKey(kSection, "BootDelay");
  }
}

}  // namespace

void BootMultiChkClick(MainForm& form) { form.BootWinChk.Enabled = form.BootMultiChk.Checked; }

void LoadBootOptions(store::TIniFile& file, MainForm& form) {
  for (const Switch& s : kBefore) LoadSwitch(file, form, s);
  form.BootDelayEdt.Text = file.ReadText(kSection, "BootDelay", "2");
  form.BootDelayEdt.Loaded = true;
  for (const Switch& s : kAfter) LoadSwitch(file, form, s);
}

void ApplyBootOptions(store::TIniFile& file, const MainForm& form) {
  for (const Switch& s : kBefore) ApplySwitch(file, form, s);
  ApplyBootDelay(file, form.BootDelayEdt);
  for (const Switch& s : kAfter) ApplySwitch(file, form, s);
}

}  // namespace frambul::engine
