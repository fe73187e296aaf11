#pragma once
// The settings controls of the main window as the load-and-apply cycle sees
// them. The window mirrors these states in its widgets; the cycle reads and
// writes only these, so it runs and is tested without a display.

#include <string>

namespace frambul::engine {

// Every settings control carries a change mark in `Tag`: 0 untouched since the
// load, 1 touched. `Loaded` says whether the load got as far as this control;
// the apply never writes a control that was not loaded, so a load that ended
// early on an error cannot overwrite settings with design-time values.
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
  bool Enabled = true;
  int Tag = 0;
  bool Loaded = false;
};

struct ComboBox {
  int ItemIndex = -1;
  bool Enabled = true;
  int Tag = 0;
  bool Loaded = false;
};

// Design-time values of every settings control of the window.
struct MainForm {
  // Misc page
  CheckBox ShortCutChk, TailNumChk, PasswChk, DblClckChk, BMPChk;
  TrackBar MenuShowDelayTrk{0, 1000, 400};
  Edit RecycleEdt;
  // Useful page
  Edit WinInstEdt, DefViewerEdt;
  TrackBar MinCacheTrk{0, 64, 0}, MaxCacheTrk{0, 64, 0};
  // Boot page
  CheckBox LogoChk, NetworkChk, AutoScanChk, BootMultiChk, BootGUIChk, BootWinChk, BootMenuChk,
      BootKeysChk, DblSpaceChk, DoubleBufferChk;
  Edit BootDelayEdt;
  // Network page
  Edit MTUEdt{"1500"}, RWINEdt{"5840"};
  ComboBox TTLCbx;
};

// True as soon as one control of the tweaks group carries the mark 1.
bool TweaksChanged(const MainForm& form);
// True as soon as one control of the boot group carries the mark 1.
bool BootChanged(const MainForm& form);

}  // namespace frambul::engine
