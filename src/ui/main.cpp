// Фрамбуль Над Windows: edits the settings of the Windows machine kept in the
// Wine prefix of WINEPREFIX (else ~/.wine). No arguments, no settings of its own.

#include <fontconfig/fontconfig.h>

#include <QApplication>
#include <cstdlib>
#include <exception>
#include <future>
#include <memory>

#include "engine/store/machine.h"
#include "error_display.h"
#include "look.h"
#include "main_frm.h"
#include "program.h"

int main(int argc, char* argv[]) {
  using namespace frambul;
  // Opening the machine (the look for a running Wine, both hives read) and
  // reading the font configuration need no display: a second core does them
  // while Qt connects to the X server. What the store takes from the
  // environment is read here, before Qt's start may change the environment.
  const std::string prefix = store::Machine::DefaultPrefix();
  store::MachineOptions options;
  const char* tmp = std::getenv("TMPDIR");
  options.tempDirectory = tmp ? tmp : "";
  auto opening = std::async(std::launch::async, [prefix, options] {
    // Qt reads fonts through fontconfig on Linux; its first call then finds
    // the configuration read.
    FcInit();
    return std::make_unique<store::Machine>(prefix, options);
  });

  QApplication app(argc, argv);
  QApplication::setApplicationName(ui::kTitle);
  QApplication::setApplicationVersion(QStringLiteral("3.0.0.6"));
  // The desktop entry installed with the program, which task bars and docks
  // take its name and icon from.
  QGuiApplication::setDesktopFileName(QStringLiteral("frambul"));
  ui::ApplyClassicLook(app);
  ui::UseRussianQtTexts(app);

  // A missing prefix, a running Wine or a second copy of the program on the
  // prefix ends the program here, having written nothing.
  std::unique_ptr<store::Machine> machine;
  try {
    machine = opening.get();
  } catch (const std::exception& error) {
    ui::ShowError(nullptr, QString::fromUtf8(error.what()));
    return 1;
  }

  ui::CreateForms(*machine);
  QObject::connect(ui::MainFrm, &QDialog::finished, &app, &QApplication::quit);
  ui::MainFrm->show();
  int status = QApplication::exec();
  ui::DestroyForms();
  return status;
}
