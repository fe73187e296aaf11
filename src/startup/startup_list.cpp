#include "startup/startup_list.h"

#include <unordered_map>

namespace frambul::startup {

const StartupEntry* StartupList::At(int row) const {
  return row >= 0 && row < size() ? &entries_[static_cast<size_t>(row)] : nullptr;
}

StartupEntry* StartupList::Mutable(int row) { return const_cast<StartupEntry*>(At(row)); }

RowChange StartupList::Toggle(int row) {
  StartupEntry* entry = Mutable(row);
  if (!entry) return {};
  entry->Enabled = !entry->Enabled;
  return {RowChange::Kind::Changed, row};
}

RowChange StartupList::SetSource(int row, StartupSource source) {
  StartupEntry* entry = Mutable(row);
  if (!entry || source == StartupSource::Menu || entry->Source == source) return {};
  if (source == StartupSource::WinIni) {
    if (std::string why = WinIniRefusal(entry->CommandLine); !why.empty()) throw ERefused(why);
  }
  entry->Source = source;
  return {RowChange::Kind::Changed, row};
}

RowChange StartupList::Add(std::string_view path) {
  if (path.empty()) return {};
  entries_.push_back({ProgramTitle(path), true, StartupSource::Common, std::string(path)});
  return {RowChange::Kind::Appended, size() - 1};
}

RowChange StartupList::Remove(int row) {
  const StartupEntry* entry = At(row);
  if (!entry) return {};
  if (entry->Source == StartupSource::Menu) return Toggle(row);
  entries_.erase(entries_.begin() + row);
  return {RowChange::Kind::Removed, row};
}

RowChange StartupList::SetCommandLine(int row, std::string commandLine) {
  StartupEntry* entry = Mutable(row);
  if (!entry) return {};
  if (entry->Source == StartupSource::WinIni) {
    if (std::string why = WinIniRefusal(commandLine); !why.empty()) throw ERefused(why);
  }
  entry->CommandLine = std::move(commandLine);
  return {RowChange::Kind::Changed, row};
}

bool StartupList::CanRename(int row) const {
  const StartupEntry* entry = At(row);
  return entry && IsRegistry(entry->Source);
}

RowChange StartupList::Rename(int row, std::string name) {
  if (!CanRename(row)) return {};
  Mutable(row)->Name = std::move(name);
  return {RowChange::Kind::Changed, row};
}

void StartupList::MouseDown(int row) {
  const StartupEntry* entry = At(row);
  comBtnEnabled_ = entry && entry->Source != StartupSource::Menu;
  delBtnEnabled_ = comBtnEnabled_;
}

std::string WinIniRefusal(std::string_view commandLine) {
  // The next load splits the list at every space; an empty token, or one
  // broken over lines, would not come back either.
  if (commandLine.empty())
    return "В «Win.Ini» нельзя хранить пустую командную строку: при следующем чтении запись пропала бы.";
  if (commandLine.find_first_of(" \r\n") == std::string_view::npos) return {};
  return "В «Win.Ini» программы разделяются пробелами, поэтому командную строку «" + std::string(commandLine) +
         "» туда не записать: при следующем чтении она распалась бы на части. Оставьте программу в реестре "
         "или укажите путь без пробелов (короткое имя вида C:\\PROGRA~1\\...).";
}

std::string NameClash(const StartupList& list) {
  // One map per registry key (two roots, Run and Run-), from the name in
  // lower case to the first entry with it.
  std::unordered_map<std::u16string, const StartupEntry*> keys[4];
  for (const StartupEntry& entry : list.Entries()) {
    if (!IsRegistry(entry.Source)) continue;
    auto& key = keys[(entry.Source == StartupSource::Common ? 0 : 2) + (entry.Enabled ? 0 : 1)];
    auto [first, added] = key.emplace(NameKey(entry.Name), &entry);
    if (added) continue;
    return "Записи «" + first->second->Name + "» и «" + entry.Name + "» («" + std::string(SourceText(entry.Source)) +
           "», запуск «" + std::string(entry.State()) +
           "») попали бы в реестр под одним именем, и одна из них пропала бы. Переименуйте или уберите одну из них.";
  }
  return {};
}

}  // namespace frambul::startup
