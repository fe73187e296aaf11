#pragma once
// A registry hive held in memory: the tree of keys and values of one of Wine's
// registry files (system.reg, user.reg), with its reader and the canonical
// writer of Wine's text format. Names and values are kept as the text Wine's
// files write for them, in arenas the hive frees in one go: a value is
// decoded when it is read, copied when it is written unchanged, and encoded
// anew only when it changes.

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "arena.h"
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

class RegValue {
 public:
  // Empty for the key's default value.
  std::u16string name() const;
  uint32_t type() const { return type_; }
  // The raw bytes as Windows stores them (strings in UTF-16LE with their NUL).
  std::string data() const;
  // The value as Wine's files write it: `"name"=data`, without the line end.
  std::string_view text() const { return {text_, size_ & kSizeMask}; }
  // The name as Wine's files write it, between the quotes; empty for the default value.
  std::string_view nameText() const;

 private:
  friend class Hive;
  friend class HiveParser;
  // Set in size_ when the text lies in a size-class piece (a change wrote it).
  static constexpr uint32_t kInClass = 0x80000000u, kSizeMask = ~kInClass;

  const char* text_;
  uint32_t size_;
  uint32_t type_;
};

class RegKey {
 public:
  std::u16string name() const;
  // The name as Wine's files write it in a key's path.
  std::string_view nameText() const { return {name_, nameSize_}; }
  RegKey* parent() const { return parent_; }
  bool deleted() const { return flags_ & kDeleted; }
  bool isLink() const { return flags_ & kLink; }
  int64_t modified() const { return modif_; }
  // Sorted as Wine sorts them. A change of the hive may move both.
  std::span<const RegValue> values() const { return {values_, valueCount_}; }
  std::span<RegKey* const> subkeys() const { return {subkeys_, subkeyCount_}; }

  // Lookups without regard to case; nullptr when absent.
  const RegValue* findValue(std::u16string_view name) const;
  RegKey* findSubkey(std::u16string_view name) const;

 private:
  friend class Hive;
  friend class HiveParser;
  friend class HiveWriter;
  enum Flag : uint8_t {
    kLink = 1,
    kDeleted = 2,
    kHasClass = 4,
    kSubkeysInClass = 8,  // the arrays lie in size-class pieces (a change moved them)
    kValuesInClass = 16,
  };

  size_t valueIndex(std::u16string_view name, bool* found) const;
  size_t subkeyIndex(std::u16string_view name, bool* found) const;

  const char* name_;
  RegKey* parent_;
  RegKey** subkeys_;
  RegValue* values_;
  int64_t modif_;
  uint32_t subkeyCount_;
  uint32_t valueCount_;
  uint32_t nameSize_;
  uint8_t flags_;
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
  // marked deleted and empty, so that handles to them stay valid.
  bool DeleteKey(RegKey& key, int64_t now);

 private:
  friend class HiveParser;
  friend class HiveWriter;
  Hive();
  // A key named by `nameText` (canonical), not yet in its parent's subkeys.
  RegKey* NewKey(RegKey* parent, std::string_view nameText);
  // A copy of `text` in the hive's text arena.
  const char* Keep(std::string_view text);
  // Gives back the text of a value that goes.
  void ReleaseText(const RegValue& value);
  void touch(RegKey& key, int64_t now);

  Arena objects_;  // keys and their arrays
  Arena text_;     // names, values and classes as Wine's files write them
  RegKey* root_;
  std::unordered_map<const RegKey*, std::string_view> classes_;  // a key's class, canonical, without its quotes
  std::string header_;  // the lines before the first key, as read
  std::u16string rootPath_;
  size_t sizeHint_ = 0;  // the size of the text read, to make room for the text written
  bool dirty_ = false;
  uint64_t revision_ = 0;
};

inline const char* Hive::Keep(std::string_view text) {
  if (text.empty()) return "";
  char* copy = static_cast<char*>(text_.Allocate(text.size(), 1));
  std::memcpy(copy, text.data(), text.size());
  return copy;
}

inline RegKey* Hive::NewKey(RegKey* parent, std::string_view nameText) {
  auto* key = static_cast<RegKey*>(objects_.Allocate(sizeof(RegKey), alignof(RegKey)));
  key->name_ = Keep(nameText);
  key->nameSize_ = static_cast<uint32_t>(nameText.size());
  key->parent_ = parent;
  key->subkeys_ = nullptr;
  key->values_ = nullptr;
  key->modif_ = 0;
  key->subkeyCount_ = key->valueCount_ = 0;
  key->flags_ = 0;
  return key;
}

class HiveParser;

// Reads a hive file piece by piece as it comes from the disk, keeping of its
// text only what the tree needs, so that the whole file is never in memory.
class HiveReader {
 public:
  // `fileName` names the file in the problems reported; `now` stands for keys
  // that carry no time.
  HiveReader(const std::string& fileName, int64_t now);
  ~HiveReader();
  // The next bytes of the file; a piece may end anywhere.
  void Feed(std::string_view piece);
  // The hive, once the whole file was fed. Throws HiveFormatError as Hive::Parse.
  std::unique_ptr<Hive> Finish();

 private:
  std::unique_ptr<HiveParser> parser_;
};

// The UTF-16 units of value data (little-endian bytes); with `toNul`, up to
// the first NUL. An odd last byte is left out.
std::u16string DataUnits(std::string_view data, bool toNul);
// The text of a string value (REG_SZ, REG_EXPAND_SZ) up to its first NUL;
// empty for a missing value or another kind.
std::u16string StringValueText(const RegValue* value);
// Text as the data of a string value: UTF-16LE with a terminating NUL.
std::string StringValueData(std::u16string_view text);

}  // namespace frambul::store
