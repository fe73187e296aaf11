#pragma once
// The error display: every error that an event handler does not catch ends
// the handler and is shown here; the program then goes on.

#include <QString>

class QWidget;

namespace frambul::ui {

// The message as the box shows it: with a full stop appended when its last
// character comes after "." in the character table.
QString WithFullStop(const QString& message);

// A modal error box: the program's title, an error icon, one OK button.
void ShowError(QWidget* owner, const QString& message);

}  // namespace frambul::ui
