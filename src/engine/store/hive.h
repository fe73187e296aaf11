#pragma once
// A registry hive held in memory: the tree of keys and values of one of Wine's
// registry files (system.reg, user.reg), with the parser and the canonical
// writer of Wine's text format.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

namespace frambul::store {

// Registry value types.
enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegLink = 6,
  kRegMultiSz = 7,
};

// FILETIME ticks (100 ns since 1601) of 1970-01-01.
inline constexpr int64_t kTicks1601To1970 = 116444736000000000;
inline constexpr int64_t kTicksPerSecond = 10000000;

struct RegValue {
  std::u16string name;  // empty: the key's default value
  uint32_t type = kRegNone;
  std::string data;  // raw bytes as Windows stores them (strings in UTF-16LE with their NUL)
};

class RegKey {
 public:
  const std::u16string& name() const { return name_; }
  RegKey* parent() const { return parent_; }
  bool deleted() const { return deleted_; }
  bool isLink() const { return link_; }
  int64_t modified() const { return modif_; }
  const std::vector<RegValue>& values() const { return values_; }
  const std::vector<std::unique_ptr<RegKey>>& subkeys() const { return subkeys_; }

  // Lookups without regard to case; nullptr when absent.
  const RegValue* findValue(std::u16string_view name) const;
  RegKey* findSubkey(std::u16string_view name) const;

 private:
  friend class Hive;
  friend class HiveParser;
  friend class HiveWriter;

  size_t valueIndex(std::u16string_view name, bool* found) const;
  size_t subkeyIndex(std::u16string_view name, bool* found) const;

  std::u16string name_;
  RegKey* parent_ = nullptr;
  int64_t modif_ = 0;
  bool link_ = false;
  bool deleted_ = false;
  bool hasClass_ = false;
  std::u16string class_;
  std::vector<RegValue> values_;                   // sorted as Wine sorts them
  std::vector<std::unique_ptr<RegKey>> subkeys_;  // sorted as Wine sorts them
};

// A hive file with a line the parser does not understand, or cut short in the
// middle of a line: never written back.
class HiveFormatError : public EStoreError {
 public:
  explicit HiveFormatError(const std::string& message, bool cutShort = false)
      : EStoreError(message), cutShort_(cutShort) {}
  // The file's last line has no line end, which Wine always writes.
  bool cutShort() const { return cutShort_; }

 private:
  bool cutShort_;
};

class Hive {
 public:
  Hive();
  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  // Parses a file in Wine's text format. `now` stands for keys that carry no
  // time. Throws HiveFormatError naming the file, the lines and their text,
  // also for a text that does not end in a line end.
  static std::unique_ptr<Hive> Parse(std::string_view text, const std::string& fileName, int64_t now);

  // Wine's canonical text of the hive.
  std::string Write() const;

  RegKey& root() { return *root_; }
  const RegKey& root() const { return *root_; }
  // The hive's place in the registry namespace, from the header
  // (e.g. "REGISTRY\Machine"); empty when the header does not say.
  const std::u16string& rootPath() const { return rootPath_; }
  // The lines before the first key ("WINE REGISTRY Version 2", the root, "#arch=").
  const std::string& header() const { return header_; }

  // Whether anything changed since the hive was read or last written.
  bool dirty() const { return dirty_; }
  void markClean() { dirty_ = false; }
  // Counts the changes ever made, so that a caller can tell whether any came since it looked.
  uint64_t revision() const { return revision_; }

  // Changes, with Wine's rules for modification times: a changed key, and the
  // parent of a created or deleted key, take the time `now`. Setting a value to
  // the type and data it already has changes nothing.
  RegKey* CreateSubkey(RegKey& parent, std::u16string_view name, int64_t now);
  bool SetValue(RegKey& key, std::u16string_view name, uint32_t type, std::string_view data, int64_t now);
  bool DeleteValue(RegKey& key, std::u16string_view name, int64_t now);
  // Removes a key with its whole subtree. The removed keys stay in memory,
  // marked deleted, so that handles to them stay valid.
  bool DeleteKey(RegKey& key, int64_t now);

 private:
  friend class HiveParser;
  void touch(RegKey& key, int64_t now);

  std::unique_ptr<RegKey> root_;
  std::string header_;  // the lines before the first key, as read
  std::u16string rootPath_;
  size_t sizeHint_ = 0;  // the size of the text read, to make room for the text written
  bool dirty_ = false;
  uint64_t revision_ = 0;
  std::vector<std::unique_ptr<RegKey>> removed_;
};

// The UTF-16 units of value data (little-endian bytes); with `toNul`, up to
// the first NUL. An odd last byte is left out.
std::u16string DataUnits(std::string_view data, bool toNul);
// The text of a string value (REG_SZ, REG_EXPAND_SZ) up to its first NUL;
// empty for a missing value or another kind.
std::u16string StringValueText(const RegValue* value);
// Text as the data of a string value: UTF-16LE with a terminating NUL.
std::string StringValueData(std::u16string_view text);

// Escapes text the way Wine's registry files do; returns the characters added.
size_t AppendEscaped(std::string& out, std::u16string_view text, char quote1, char quote2);

}  // namespace frambul::store
