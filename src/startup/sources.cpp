#include "startup/sources.h"

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/steps.h"
#include "engine/store/errors.h"
#include "engine/store/files.h"

namespace frambul::startup {
namespace {

using store::RootKey;
using store::TIniFile;
using store::TRegistry;

constexpr std::string_view kRun = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::string_view kRunOff = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-";
constexpr std::string_view kShellFolders = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kWinIni[] = "Win.Ini";
constexpr char kWindows[] = "Windows";
// Every file of a folder listing, hidden and system ones too; no sub-folders.
constexpr int kFolderFiles = store::faReadOnly | store::faHidden | store::faSysFile | store::faVolumeID | store::faArchive;
// The profile-file reader gives at most this many characters of a value.
constexpr size_t kProfileTextLimit = 2047;

StartupSource OwnSource(const TRegistry& registry) {
  return registry.CurrentRoot() == RootKey::LocalMachine ? StartupSource::Common : StartupSource::Personal;
}

// Opens a Run key, making it when missing; the write error names the key with its root.
void OpenRunKey(TRegistry& registry, std::string_view path) {
  const char* root = registry.CurrentRoot() == RootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  engine::OpenForWrite(registry, path, root + std::string(path));
}

// Leaves in the open key exactly the values of the root's entries in the given
// state. A value no entry spells exactly goes (a rename in letter case only
// included); one that stays the same is not touched, so the key keeps its time.
void RewriteOpenKey(TRegistry& registry, const StartupList& list, StartupSource own, bool enabled) {
  auto belongs = [&](const StartupEntry& e) { return e.Source == own && e.Enabled == enabled; };
  std::unordered_set<std::string> wanted;
  for (const StartupEntry& e : list.Entries())
    if (belongs(e)) wanted.insert(e.Name);
  std::vector<std::string> names;
  registry.ListValueNames(names);
  for (const std::string& name : names)
    if (!wanted.contains(name)) registry.RemoveValue(name);
  for (const StartupEntry& e : list.Entries())
    if (belongs(e)) registry.WriteText(e.Name, e.CommandLine);
}

// A list of [Windows]; one that reaches the reader's limit may have been cut,
// and saving it would lose the programs past the cut.
std::string ReadWinIniList(TIniFile& winIni, const char* key) {
  std::string text = winIni.ReadText(kWindows, key, "");
  size_t characters = 0;
  for (char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  if (characters >= kProfileTextLimit)
    throw store::EStoreError(std::string("Список «") + key + "» раздела [" + kWindows + "] файла «" + kWinIni +
                             "» занимает " + std::to_string(kProfileTextLimit) +
                             " знаков или больше и мог быть прочитан не целиком. Чтобы не потерять программы из его "
                             "конца, страница «Автозапуск» закрыта и ничего на ней не сохраняется.");
  return text;
}

// The hidden attribute of each Startup folder file follows its entry's state;
// read-only and system are cleared. Only files the folder itself lists are
// touched, so a command line holding a path ("..\\", "Sub\\") or naming a file
// that is gone is skipped, and so is a link that leads out of the folder. A
// file that has its attributes already is left alone.
void SaveFolderAttributes(TRegistry& registry, store::Machine& machine, const StartupList& list) {
  if (!registry.OpenPath(kShellFolders, false)) return;
  const std::string folder = registry.ReadText("StartUp");
  if (folder.empty()) return;  // never the root of the drive
  std::unordered_map<std::u16string, std::pair<std::string, int>> files;  // by name as Windows compares them
  store::TSearchRec rec;
  for (int rc = store::SearchFirst(machine, folder + "\\*.*", kFolderFiles, rec); rc == 0; rc = store::SearchNext(rec))
    files.emplace(NameKey(rec.Name), std::pair{rec.Name, rec.Attr});
  store::SearchEnd(rec);
  std::error_code ec;
  const std::filesystem::path folderHost = std::filesystem::canonical(machine.HostPath(folder), ec);
  if (ec) return;
  for (const StartupEntry& e : list.Entries()) {
    if (e.Source != StartupSource::Menu) continue;
    auto file = files.find(NameKey(e.CommandLine));
    if (file == files.end()) continue;
    const auto& [name, attributes] = file->second;
    const int stored = store::faReadOnly | store::faHidden | store::faSysFile;
    const int wanted = e.Enabled ? store::faArchive : store::faArchive | store::faHidden;
    if ((attributes & stored) == (wanted & stored)) continue;
    const std::filesystem::path host = folderHost / name;
    if (std::filesystem::is_symlink(host, ec) && std::filesystem::canonical(host, ec).parent_path() != folderHost)
      continue;
    store::SetAttributes(machine, folder + "\\" + name, wanted);
  }
}

// Load= is emptied, its programs going to Run= with the other enabled ones;
// Run-= gets the disabled ones. Each program is followed by one space.
void SaveWinIniLists(TIniFile& winIni, const StartupList& list) {
  std::string on, off;
  for (const StartupEntry& e : list.Entries())
    if (e.Source == StartupSource::WinIni) (e.Enabled ? on : off) += e.CommandLine + " ";
  // When a write fails half-way (a character the file's code page lacks),
  // the lists go back to what they held rather than stay emptied. No value
  // holds a line break, so "\n" marks a key that was missing.
  const char* keys[] = {"Load", "Run", "Run-"};
  std::string before[3];
  for (int i = 0; i < 3; ++i) before[i] = winIni.ReadText(kWindows, keys[i], "\n");
  try {
    for (const char* key : keys) winIni.WriteText(kWindows, key, "");
    winIni.WriteText(kWindows, "Run", on);
    winIni.WriteText(kWindows, "Run-", off);
  } catch (const store::EStoreError&) {
    for (int i = 0; i < 3; ++i) {
      try {
        if (before[i] == "\n") winIni.RemoveKey(kWindows, keys[i]);
        else winIni.WriteText(kWindows, keys[i], before[i]);
      } catch (const store::EStoreError&) {
        // The first failure is the one reported.
      }
    }
    throw;
  }
}

}  // namespace

void LoadRunKeys(TRegistry& registry, StartupList& list) {
  const StartupSource source = OwnSource(registry);
  std::vector<std::string> names;
  for (bool enabled : {true, false}) {
    if (!registry.OpenPath(enabled ? kRun : kRunOff, false)) return;
    registry.ListValueNames(names);
    for (const std::string& name : names) list.Append({name, enabled, source, registry.ReadText(name)});
  }
}

void LoadStartupFolder(TRegistry& registry, store::Machine& machine, StartupList& list) {
  const std::string folder = registry.ReadText("Startup");
  // Without a folder the pattern would list the root of the drive, whose
  // files the save step would then change.
  if (folder.empty()) return;
  store::TSearchRec rec;
  if (store::SearchFirst(machine, folder + "\\*.*", kFolderFiles, rec) != 0) return;
  do {
    list.Append({ProgramTitle(rec.Name), !(rec.Attr & store::faHidden), StartupSource::Menu, rec.Name});
  } while (store::SearchNext(rec) == 0);
  store::SearchEnd(rec);
}

void AddWinIniEntries(StartupList& list, std::string_view text, bool enabled) {
  while (!text.empty()) {
    size_t space = text.find(' ');
    std::string_view token = text.substr(0, space);
    // Two spaces in a row separate like one: no entry without a program.
    if (!token.empty()) list.Append({ProgramTitle(token), enabled, StartupSource::WinIni, std::string(token)});
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  }
}

void LoadStartupList(TRegistry& registry, store::Machine& machine, StartupList& list,
                     std::unique_ptr<TIniFile>& winIni) {
  list = StartupList();
  registry.SetCurrentRoot(RootKey::LocalMachine);
  LoadRunKeys(registry, list);
  registry.SetCurrentRoot(RootKey::CurrentUser);
  LoadRunKeys(registry, list);
  if (registry.OpenPath(kShellFolders, false)) {
    LoadStartupFolder(registry, machine, list);
  } else {
    list.DisablePage();
  }
  winIni = std::make_unique<TIniFile>(machine, kWinIni);
  AddWinIniEntries(list, ReadWinIniList(*winIni, "Load"), true);
  AddWinIniEntries(list, ReadWinIniList(*winIni, "Run"), true);
  AddWinIniEntries(list, ReadWinIniList(*winIni, "Run-"), false);
  list.MarkComplete();
}

void SaveRunKeys(TRegistry& registry, const StartupList& list) {
  // Both keys are opened, and made, before anything in either changes.
  OpenRunKey(registry, kRun);
  OpenRunKey(registry, kRunOff);
  RewriteOpenKey(registry, list, OwnSource(registry), false);
  OpenRunKey(registry, kRun);
  RewriteOpenKey(registry, list, OwnSource(registry), true);
}

void SaveStartupList(TRegistry& registry, store::Machine& machine, TIniFile* winIni, const StartupList& list) {
  if (!list.Complete()) return;  // it lacks entries the machine holds
  if (std::string clash = NameClash(list); !clash.empty()) throw ERefused(clash);
  registry.SetCurrentRoot(RootKey::LocalMachine);
  SaveRunKeys(registry, list);
  registry.SetCurrentRoot(RootKey::CurrentUser);
  SaveRunKeys(registry, list);
  SaveFolderAttributes(registry, machine, list);
  std::optional<TIniFile> own;
  SaveWinIniLists(winIni ? *winIni : own.emplace(machine, kWinIni), list);
}

}  // namespace frambul::startup
