#pragma once
// The startup list: the working copy of every startup entry between the load
// and OK, the state of the page's buttons, and the user's operations on it.
// Nothing here touches the machine; the save step writes the list on OK.
//
// Operations take the selected row (negative or past the end: none, and the
// operation does nothing) and tell which row they changed, so that a view
// over the list can update that row alone and keep its selection.

#include <string>
#include <string_view>
#include <vector>

#include "engine/store/errors.h"
#include "startup/entry.h"

namespace frambul::startup {

// An operation the list refuses, with the reason for the user; the entry
// stays as it was.
class ERefused : public store::EStoreError {
 public:
  using store::EStoreError::EStoreError;
};

// The row an operation changed, removed or appended.
struct RowChange {
  enum class Kind { None, Changed, Removed, Appended };
  Kind kind = Kind::None;
  int row = -1;
  bool operator==(const RowChange&) const = default;
};

class StartupList {
 public:
  const std::vector<StartupEntry>& Entries() const { return entries_; }
  int size() const { return static_cast<int>(entries_.size()); }
  // The entry of a row; null when the row is none.
  const StartupEntry* At(int row) const;

  // Whether the load step filled the list to its end. Without it the list
  // lacks entries the machine holds: the page is disabled and the save step
  // writes nothing.
  bool Complete() const { return complete_; }
  // The page "Автозапуск" can be used: the load found the Startup folder's
  // key and ran to its end.
  bool PageEnabled() const { return pageEnabled_ && complete_; }
  // The buttons "Убрать" and "Подробно"; only MouseDown changes them.
  bool DelBtnEnabled() const { return delBtnEnabled_; }
  bool ComBtnEnabled() const { return comBtnEnabled_; }

  // For the load step.
  void Append(StartupEntry entry) { entries_.push_back(std::move(entry)); }
  void DisablePage() { pageEnabled_ = false; }
  void MarkComplete() { complete_ = true; }

  // "Автозапуск", a double click: "Да" becomes "Нет" and back.
  RowChange Toggle(int row);
  // A source of the menu's radio items. Throws ERefused for "Win.Ini" when
  // the command line cannot be kept there.
  RowChange SetSource(int row, StartupSource source);
  // "Добавить": appends the program at `path` as an enabled machine-wide
  // registry entry named by its title. An empty path (the dialog cancelled)
  // adds nothing.
  RowChange Add(std::string_view path);
  // "Убрать": deletes the row; a Startup folder entry is toggled instead, its
  // file is never deleted.
  RowChange Remove(int row);
  // "Подробно" confirmed with a new command line; the name stays. Throws
  // ERefused when a Win.Ini entry cannot keep it.
  RowChange SetCommandLine(int row, std::string commandLine);
  // Whether in-place editing of the row's name may start: registry entries only.
  bool CanRename(int row) const;
  // The accepted text of an in-place edit becomes the name.
  RowChange Rename(int row, std::string name);
  // A mouse button pressed on the list: `row` is the row under the pointer
  // (none: the selection is cleared). Enables both buttons for an entry that
  // is not a Startup folder file.
  void MouseDown(int row);

 private:
  StartupEntry* Mutable(int row);

  std::vector<StartupEntry> entries_;
  bool complete_ = false;
  bool pageEnabled_ = true;
  bool delBtnEnabled_ = false;
  bool comBtnEnabled_ = false;
};

// Why a command line cannot be kept in Win.Ini, whose lists are separated by
// spaces; empty when it can.
std::string WinIniRefusal(std::string_view commandLine);

// The message for two entries that would be stored under one value name of
// one registry key (names compared without regard to case), so that one of
// them would be lost; empty when there are none. OK checks it before
// anything is written.
std::string NameClash(const StartupList& list);

}  // namespace frambul::startup
