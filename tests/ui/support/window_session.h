#pragma once
// A copy of the sample machine in a temporary folder with the real main
// window open on it (offscreen), and what the window asked of the help viewer
// and showed in the error box.

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>

#include "engine/store/machine.h"
#include "main_frm.h"

namespace frambul::test {

struct WindowSession {
  // The sample machine with `from` replaced by `to` in its system.reg.
  explicit WindowSession(const std::string& from = "", const std::string& to = "");
  ~WindowSession();

  std::string file(const std::string& relative) const;
  std::string systemReg() const;
  bool inSystemReg(const std::string& text) const;
  std::string bootFile() const;
  // Read-only 1, hidden 2, system 4; Wine reports archive for every file.
  int bootAttributes() const;
  template <class T>
  T* find(const char* name) const {
    return frm->findChild<T*>(name);
  }
  // Brings a page to the front as the program would, without the user.
  void page(const char* name) const;
  // A click at the left end, where a check box has its square.
  void click(const char* name) const;

  QTemporaryDir dir;
  std::unique_ptr<store::Machine> machine;
  std::unique_ptr<ui::TMainFrm> frm;
  QStringList helpCalls;  // each help command's number and its data
  bool helpWorks = true;
  QStringList errors;     // as the error box shows them
};

}  // namespace frambul::test
