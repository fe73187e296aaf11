#pragma once
// The load-and-apply cycle of the main window: the load fills every control
// from the machine, the apply writes back each group that was touched, the
// discard writes nothing. The boot options file's attributes follow the
// cycle: archive + system while the window is open, hidden + system after
// OK, read-only + hidden + system after Cancel.

#include <memory>

#include "engine/main_form.h"
#include "engine/store/inifile.h"
#include "engine/store/machine.h"
#include "engine/store/registry.h"

namespace frambul::engine {

inline constexpr const char* kBootFile = "C:\\MSDOS.Sys";

class LoadApplyCycle {
 public:
  LoadApplyCycle(store::Machine& machine, MainForm& form);
  ~LoadApplyCycle();

  // The load. An error ends it where it stands; what was loaded stays shown.
  void FormCreate();
  // The apply, up to the boot file's final attributes; the window closes when
  // it returns. An error ends it where it stands and the window stays open;
  // what was written before stays written, and a second OK starts over.
  void OkBtnClick();
  // The discard: releases the accessors and sets the boot file's attributes;
  // what an earlier OK or a removal failed to write to disk is tried again.
  void BitBtn2Click();

  // The shared registry accessor, for the steps of the other pages.
  store::TRegistry* Registry() { return registry_.get(); }

 private:
  store::Machine& machine_;
  MainForm& form_;
  std::unique_ptr<store::TRegistry> registry_;
  std::unique_ptr<store::TIniFile> bootFile_;
  std::unique_ptr<store::TIniFile> winIni_;
};

}  // namespace frambul::engine
