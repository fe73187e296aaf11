#include "support/window_session.h"

#include <QTabWidget>
#include <cstdlib>

#include "engine/store/files.h"
#include "error_display.h"
#include "support/temp_prefix.h"

namespace frambul::test {

WindowSession::WindowSession(const std::string& from, const std::string& to) {
  std::string copy = FRAMBUL_SOURCE_DIR "/scripts/make-sample-prefix.sh " + file("") + " >/dev/null";
  if (std::system(copy.c_str()) != 0) qFatal("cannot copy the sample machine");
  std::string reg = systemReg();
  if (!from.empty()) WriteFile(file("system.reg"), reg.replace(reg.find(from), from.size(), to));
  machine = std::make_unique<store::Machine>(file(""));
  frm = std::make_unique<ui::TMainFrm>(
      *machine,
      [this](QWidget*, const QString&, unsigned command, const QString& data) {
        helpCalls << QString::number(command) + " " + data;
        return helpWorks;
      },
      [this](QWidget*, const QString& message) { errors << ui::WithFullStop(message); });
  frm->show();
  if (!QTest::qWaitForWindowExposed(frm.get())) qFatal("window not shown");
}

WindowSession::~WindowSession() = default;

std::string WindowSession::file(const std::string& relative) const {
  return dir.path().toStdString() + "/prefix/" + relative;
}

std::string WindowSession::systemReg() const { return ReadFile(file("system.reg")); }

bool WindowSession::inSystemReg(const std::string& text) const { return systemReg().find(text) != std::string::npos; }

std::string WindowSession::bootFile() const { return ReadFile(file("drive_c/MSDOS.SYS")); }

int WindowSession::bootAttributes() const { return store::GetAttributes(*machine, "C:\\MSDOS.SYS") & 7; }

void WindowSession::page(const char* name) const {
  find<QTabWidget>("PageControl1")->setCurrentWidget(find<QWidget>(name));
}

void WindowSession::click(const char* name) const {
  QTest::mouseClick(find<QWidget>(name), Qt::LeftButton, {}, QPoint(6, 8));
}

}  // namespace frambul::test
