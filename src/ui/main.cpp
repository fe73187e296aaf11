// Фрамбуль Над Windows: edits the settings of the Windows machine kept in the
// Wine prefix of WINEPREFIX (else ~/.wine). No arguments, no settings of its own.

#include <QApplication>
#include <exception>
#include <memory>

#include "engine/store/machine.h"
#include "error_display.h"
#include "look.h"
#include "main_frm.h"
#include "program.h"

int main(int argc, char* argv[]) {
  using namespace frambul;
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
    machine = std::make_unique<store::Machine>(store::Machine::DefaultPrefix());
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
