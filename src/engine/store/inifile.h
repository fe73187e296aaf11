#pragma once
// TIniFile: the profile-file accessor. It holds only a file name; every call
// goes to the machine's copy of the file, which reads the file once per event
// handler and writes it when the handler ends (Machine::Flush). Where the machine's registry maps the file's
// section to a registry key (IniFileMapping, as Windows NT and Wine do), the
// call reads and writes that registry value instead.

#include <cstdint>
#include <string>
#include <string_view>

#include "machine.h"

namespace frambul::store {

class TIniFile {
 public:
  // "C:\MSDOS.Sys" is a full path; a bare "Win.Ini" means the file in the
  // Windows directory.
  TIniFile(Machine& machine, std::string fileName);

  const std::string& FileName() const { return fileName_; }

  // The default when file, section or key is missing; at most 2047 characters.
  std::string ReadText(std::string_view section, std::string_view key, std::string_view defaultValue);
  // Sets key=value, creating section and file as needed. Raises EStoreError
  // "Unable to write to %s" when the file cannot be read or cannot hold the
  // text; Machine::Flush raises it when the file cannot be written.
  void WriteText(std::string_view section, std::string_view key, std::string_view value);
  void WriteNumber(std::string_view section, std::string_view key, int32_t value);
  // Removes the key's line; never raises.
  void RemoveKey(std::string_view section, std::string_view key);

 private:
  // The registry key and value a section's key is mapped to, if any.
  struct Mapping {
    KeyRef key;
    std::u16string value;
  };
  bool Mapped(std::string_view section, std::string_view key, bool create, Mapping& out);

  Machine& machine_;
  std::string fileName_;
};

// The text after the last "\" or ":", or the whole path.
std::string FileNamePart(std::string_view path);

}  // namespace frambul::store
