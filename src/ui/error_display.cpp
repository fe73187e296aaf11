#include "error_display.h"

#include <QMessageBox>

#include "program.h"

namespace frambul::ui {

QString WithFullStop(const QString& message) {
  if (message.isEmpty()) return message;
  // Compare whole characters, so a letter outside the basic plane counts once.
  char32_t last = message.toStdU32String().back();
  return last > U'.' ? message + u'.' : message;
}

void ShowError(QWidget* owner, const QString& message) {
  QMessageBox box(QMessageBox::Critical, kTitle, WithFullStop(message), QMessageBox::Ok, owner);
  box.setObjectName("ErrorBox");
  box.exec();
}

}  // namespace frambul::ui
