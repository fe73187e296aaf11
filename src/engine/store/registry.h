#pragma once
// TRegistry: the registry accessor every page reads and writes settings through.
// It holds a current root and at most one open key; value operations act on
// the open key. Changes stay in memory until the machine is flushed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "machine.h"

namespace frambul::store {

struct TRegKeyInfo {
  int32_t NumSubKeys = 0;
  int32_t MaxSubKeyLen = 0;
  int32_t NumValues = 0;
  int32_t MaxValueLen = 0;
  int32_t MaxDataLen = 0;
  int64_t FileTime = 0;
};

class TRegistry {
 public:
  explicit TRegistry(Machine& machine);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  RootKey CurrentRoot() const { return root_; }
  // Another root closes the open key; the root in force changes nothing.
  void SetCurrentRoot(RootKey root);

  // A path beginning with "\" counts from the root, any other from the open key
  // (from the root when none is open). With `mayCreate` a missing key is created.
  // On success the key becomes the open one; on failure the old one stays.
  bool OpenPath(std::string_view path, bool mayCreate);
  void CloseKey();
  bool HasOpenKey() const { return static_cast<bool>(current_); }

  std::string ReadText(std::string_view name);
  void WriteText(std::string_view name, std::string_view text);
  int32_t ReadDword(std::string_view name);
  void WriteNumber(std::string_view name, int32_t value);
  int ReadBytes(std::string_view name, void* buffer, int size);
  void WriteBytes(std::string_view name, const void* buffer, int size);
  bool HasValue(std::string_view name);
  bool RemoveValue(std::string_view name);
  // Removes the key at `path` (path rules as OpenPath) with all its subkeys;
  // the open key is left as it is, even when it lay inside.
  bool RemoveKey(std::string_view path);
  void ListSubkeys(std::vector<std::string>& list);
  void ListValueNames(std::vector<std::string>& list);
  bool QueryKeyCounts(TRegKeyInfo& info);

 private:
  KeyRef Resolve(std::string_view path, bool create);
  const RegValue* Find(std::string_view name) const;
  void Write(std::string_view name, uint32_t type, std::string_view data);

  Machine& machine_;
  RootKey root_ = RootKey::CurrentUser;
  KeyRef current_;
};

}  // namespace frambul::store
