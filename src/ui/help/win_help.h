#pragma once
// The help call of the main window: hands a command to the help viewer.

#include <QString>

class QWidget;

namespace frambul::ui {

inline constexpr unsigned HELP_CONTENTS = 3;     // data empty
inline constexpr unsigned HELP_FINDER = 11;      // data empty
inline constexpr unsigned HELP_COMMAND = 0x102;  // data: the macro text

// Hands the command to the viewer of `file`, starting the viewer when none runs.
// Returns false when the help file or the viewer cannot be opened.
bool WinHelp(QWidget* owner, const QString& file, unsigned command, const QString& data);

namespace help {

// WinHelp with the viewer program and the help file's path given. The file must exist
// and read as a sound help file before a viewer is started for it; a started viewer has
// a few seconds to answer, and one that ends before it answers is a failure.
bool RunHelpCommand(const QString& viewerProgram, const QString& helpFile, unsigned command, const QString& data);

}  // namespace help
}  // namespace frambul::ui
