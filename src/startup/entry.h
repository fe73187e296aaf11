#pragma once
// A startup entry: one program started at log-on, with the place it is kept
// in and whether it runs. The texts the list shows come from here alone.

#include <string>
#include <string_view>

namespace frambul::startup {

// Where an entry is kept; each place has an enabled and a disabled form.
enum class StartupSource {
  Common,    // "Реестр (Общий)": Run / Run- under HKEY_LOCAL_MACHINE
  Personal,  // "Реестр (Личный)": Run / Run- under HKEY_CURRENT_USER
  WinIni,    // "Win.Ini": the lists Load and Run / Run- of [windows]
  Menu,      // "Меню": a file of the Startup folder, hidden when disabled
};

// "Да" for an entry that runs, "Нет" for one that does not.
std::string_view StateText(bool enabled);
// "Реестр (Общий)", "Реестр (Личный)", "Win.Ini" or "Меню".
std::string_view SourceText(StartupSource source);
bool IsRegistry(StartupSource source);

struct StartupEntry {
  std::string Name;  // registry: the value name; otherwise the program title
  bool Enabled = true;
  StartupSource Source = StartupSource::Common;
  // Registry: the value's text; Win.Ini: the list token; folder: the file's
  // name with its extension, without the folder.
  std::string CommandLine;

  std::string_view State() const { return StateText(Enabled); }
  // The image of the row, 0 a tick, 1 a chevron: it follows the state, so the
  // two never disagree.
  int Picture() const { return Enabled ? 0 : 1; }
};

// A name as Windows compares names without regard to case: each UTF-16
// unit in lower case.
std::u16string NameKey(std::string_view name);

// The file name of a path or command-line token without its last extension:
// "C:\TOOLS\CLOCK.EXE" gives "CLOCK", "A.B.EXE" gives "A.B".
std::string ProgramTitle(std::string_view path);

}  // namespace frambul::startup
