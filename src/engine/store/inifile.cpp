#include "inifile.h"

#include <system_error>

#include "ini_document.h"
#include "text.h"

namespace frambul::store {

namespace {

constexpr size_t kMaxProfileText = 2047;

std::string CutToCharacters(std::string text, size_t max) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == max) {
      text.resize(i);
      break;
    }
  }
  return text;
}

}  // namespace

std::string FileNamePart(std::string_view path) {
  auto pos = path.find_last_of("\\:");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

TIniFile::TIniFile(Machine& machine, std::string fileName) : machine_(machine), fileName_(std::move(fileName)) {}

bool TIniFile::Mapped(std::string_view section, std::string_view key, bool create, Mapping& out) {
  KeyRef files = machine_.OpenKey(machine_.Root(RootKey::LocalMachine),
                                  u"Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping", false);
  if (!files) return false;
  KeyRef file = machine_.OpenKey(files, ToUtf16(FileNamePart(fileName_)), false);
  if (!file) return false;
  std::u16string sec = ToUtf16(section);
  std::u16string target;
  if (KeyRef perSection = machine_.OpenKey(file, sec, false)) {
    target = StringValueText(perSection.key->findValue(ToUtf16(key)));
    if (target.empty()) target = StringValueText(perSection.key->findValue(u""));
  } else {
    target = StringValueText(file.key->findValue(sec));
    if (target.empty()) {
      target = StringValueText(file.key->findValue(u""));
      if (!target.empty()) target += u"\\" + sec;
    }
  }
  // Flags in front of the location say how to mix file and registry; the
  // location is read and written alone here.
  size_t skip = target.find_first_not_of(u"!#@");
  if (skip == std::u16string::npos) return false;
  target.erase(0, skip);
  KeyRef base;
  std::u16string path;
  if (target.size() >= 4 && EqualNoCase(std::u16string_view(target).substr(0, 4), u"USR:")) {
    base = machine_.Root(RootKey::CurrentUser);
    path = target.substr(4);
  } else if (target.size() >= 4 && EqualNoCase(std::u16string_view(target).substr(0, 4), u"SYS:")) {
    base = machine_.Root(RootKey::LocalMachine);
    path = u"Software\\" + target.substr(4);
  } else {
    return false;
  }
  out.key = machine_.OpenKey(base, path, create);
  out.value = ToUtf16(key);
  return true;
}

std::string TIniFile::ReadText(std::string_view section, std::string_view key, std::string_view defaultValue) {
  std::string result(defaultValue);
  Mapping map;
  if (Mapped(section, key, false, map)) {
    if (map.key) {
      if (const RegValue* v = map.key.key->findValue(map.value); v && (v->type() == kRegSz || v->type() == kRegExpandSz))
        result = ToUtf8(StringValueText(v));
    }
    return CutToCharacters(std::move(result), kMaxProfileText);
  }
  try {
    if (const auto& bytes = machine_.ReadProfile(machine_.HostPath(fileName_))) {
      if (auto value = IniDocument::Parse(*bytes, machine_.AnsiCodePage()).Get(section, key)) result = *value;
    }
  } catch (const std::system_error&) {
    // An unreadable file reads as a missing one.
  }
  return CutToCharacters(std::move(result), kMaxProfileText);
}

void TIniFile::WriteText(std::string_view section, std::string_view key, std::string_view value) {
  const std::string failure = Format("Unable to write to %s", fileName_);
  Mapping map;
  if (Mapped(section, key, true, map)) {
    if (!map.key ||
        !map.key.hive->SetValue(*map.key.key, map.value, kRegSz, StringValueData(ToUtf16(value)), machine_.Now()))
      throw EStoreError(failure);
    return;
  }
  std::string path = machine_.HostPath(fileName_);
  try {
    const auto& bytes = machine_.ReadProfile(path);
    IniDocument doc = bytes ? IniDocument::Parse(*bytes, machine_.AnsiCodePage()) : IniDocument::Empty(machine_.AnsiCodePage());
    if (!doc.Set(section, key, value)) throw EStoreError(failure);
    // Reaches the disk when the machine is flushed, with the other files changed meanwhile.
    machine_.WriteProfile(path, fileName_, doc.Serialize());
  } catch (const std::system_error&) {
    throw EStoreError(failure);
  }
}

void TIniFile::WriteNumber(std::string_view section, std::string_view key, int32_t value) {
  WriteText(section, key, std::to_string(value));
}

void TIniFile::RemoveKey(std::string_view section, std::string_view key) {
  try {
    Mapping map;
    if (Mapped(section, key, false, map)) {
      if (map.key) map.key.hive->DeleteValue(*map.key.key, map.value, machine_.Now());
      return;
    }
    std::string path = machine_.HostPath(fileName_);
    const auto& bytes = machine_.ReadProfile(path);
    if (!bytes) return;
    IniDocument doc = IniDocument::Parse(*bytes, machine_.AnsiCodePage());
    if (doc.Remove(section, key)) machine_.WriteProfile(path, fileName_, doc.Serialize());
  } catch (...) {
    // Removing a key reports nothing.
  }
}

}  // namespace frambul::store
