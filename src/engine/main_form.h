#pragma once
// The controls of the main window as the load-and-apply cycle sees them. The
// window mirrors these states in its widgets; the cycle reads and writes only
// these, so it runs and is tested without a display.

#include <optional>
#include <string>
#include <vector>

#include "startup/startup_list.h"

namespace frambul::engine {

// Every settings control carries a change mark in `Tag`: 0 untouched since the
// load, 1 touched. `Loaded` says whether the load got as far as this control;
// the apply never writes a control that was not loaded, so a load that ended
// early on an error cannot overwrite settings with design-time values, and the
// window shows such a control disabled, so that no change to it is dropped.
struct CheckBox {
  bool Checked = false;
  bool Enabled = true;
  int Tag = 0;
  bool Loaded = false;
};

struct Edit {
  std::string Text;
  bool Enabled = true;
  int Tag = 0;
  bool Loaded = false;
};

struct TrackBar {
  int Min = 0;
  int Max = 0;
  int Position = 0;
  std::string Hint{};  // empty: the hint the form gives it
  bool Enabled = true;
  int Tag = 0;
  bool Loaded = false;
};

// A drop-down list of fixed items; the window holds the item texts.
struct ComboBox {
  int ItemIndex = -1;
  bool Enabled = true;
  int Tag = 0;
  bool Loaded = false;
};

struct Label {
  std::string Caption;
};

// A list box whose lines may be selected several at a time.
struct ListBox {
  std::vector<std::string> Items;
  std::vector<bool> Selected;  // one flag per line
  bool Enabled = true;
  bool Loaded = false;
};

// The groups whose change marks the apply tests.
enum class Group { Tweaks, Boot };

// Every settings control of the window, once: its kind, its name (also the
// name of its widget in the form), its group and its design-time value. The
// order is the order in which each group's test looks at the marks.
#define FRAMBUL_SETTINGS_CONTROLS(X)                                  \
  X(CheckBox, ShortCutChk, Tweaks, {})                                \
  X(CheckBox, TailNumChk, Tweaks, {})                                 \
  X(CheckBox, PasswChk, Tweaks, {})                                   \
  X(CheckBox, DblClckChk, Tweaks, {})                                 \
  X(CheckBox, BMPChk, Tweaks, {})                                     \
  X(Edit, RecycleEdt, Tweaks, {})                                     \
  X(TrackBar, MenuShowDelayTrk, Tweaks, (TrackBar{0, 1000, 400}))     \
  X(Edit, WinInstEdt, Tweaks, {})                                     \
  X(Edit, DefViewerEdt, Tweaks, {})                                   \
  X(TrackBar, MinCacheTrk, Tweaks, (TrackBar{0, 64, 0, "0"}))         \
  X(TrackBar, MaxCacheTrk, Tweaks, (TrackBar{0, 64, 0, "0"}))         \
  X(Edit, MTUEdt, Tweaks, (Edit{"1500"}))                             \
  X(Edit, RWINEdt, Tweaks, (Edit{"5840"}))                            \
  X(ComboBox, TTLCbx, Tweaks, {})                                     \
  X(CheckBox, LogoChk, Boot, {})                                      \
  X(CheckBox, NetworkChk, Boot, {})                                   \
  X(CheckBox, AutoScanChk, Boot, {})                                  \
  X(CheckBox, BootMultiChk, Boot, {})                                 \
  X(CheckBox, BootGUIChk, Boot, {})                                   \
  X(CheckBox, BootWinChk, Boot, {})                                   \
  X(CheckBox, BootMenuChk, Boot, {})                                  \
  X(CheckBox, BootKeysChk, Boot, {})                                  \
  X(CheckBox, DblSpaceChk, Boot, {})                                  \
  X(CheckBox, DoubleBufferChk, Boot, {})                              \
  X(Edit, BootDelayEdt, Boot, {})

// The window's state between the load and the apply.
struct MainForm {
#define FRAMBUL_DECLARE_CONTROL(Kind, Name, InGroup, Design) Kind Name = Design;
  FRAMBUL_SETTINGS_CONTROLS(FRAMBUL_DECLARE_CONTROL)
#undef FRAMBUL_DECLARE_CONTROL

  // Useful page: the cache sizes beside the sliders, in megabytes written
  // with the decimal separator of the user's locale, which the window sets.
  Label MinLbl{"Авто"}, MaxLbl{"Авто"};
  std::string DecimalSeparator = ".";
  // Network page: the subkey of the first TCP/IP binding, empty until found.
  std::string NetTransKey;
  // Uninstall page: one line per entry, and the entries' key names, made by
  // the load only when the uninstall key opens.
  ListBox UninstallLst;
  std::optional<std::vector<std::string>> UninstallKeys;
  // Startup page: every program started at log-on, with the page's buttons.
  startup::StartupList StartUpLvw;
};

// Calls `visit(name, group, control)` for each settings control in table
// order, the control typed as its kind.
template <class Form, class Visit>
void ForEachSettingsControl(Form& form, Visit&& visit) {
#define FRAMBUL_VISIT_CONTROL(Kind, Name, InGroup, Design) visit(#Name, Group::InGroup, form.Name);
  FRAMBUL_SETTINGS_CONTROLS(FRAMBUL_VISIT_CONTROL)
#undef FRAMBUL_VISIT_CONTROL
}

// True as soon as one control of the tweaks group carries the mark 1.
bool TweaksChanged(const MainForm& form);
// True as soon as one control of the boot group carries the mark 1.
bool BootChanged(const MainForm& form);

}  // namespace frambul::engine
