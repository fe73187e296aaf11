#include "registry.h"

#include <algorithm>
#include <cstring>

#include "text.h"

namespace frambul::store {

TRegistry::TRegistry(Machine& machine) : machine_(machine) {}
TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetCurrentRoot(RootKey root) {
  if (root == root_) return;
  CloseKey();
  root_ = root;
}

void TRegistry::CloseKey() { current_ = {}; }

KeyRef TRegistry::Resolve(std::string_view path, bool create) {
  bool absolute = !path.empty() && path[0] == '\\';
  KeyRef base = (absolute || !current_) ? machine_.Root(root_) : current_;
  return machine_.OpenKey(base, ToUtf16(path), create && !path.empty());
}

bool TRegistry::OpenPath(std::string_view path, bool mayCreate) {
  KeyRef key = Resolve(path, mayCreate);
  if (!key) return false;
  current_ = key;
  return true;
}

const RegValue* TRegistry::Find(std::string_view name) const {
  if (!current_ || current_.key->deleted()) return nullptr;
  return current_.key->findValue(ToUtf16(name));
}

std::string TRegistry::ReadText(std::string_view name) {
  const RegValue* v = Find(name);
  if (!v) return {};
  const std::string data = v->data();
  if (data.empty()) return {};
  if (v->type() != kRegSz && v->type() != kRegExpandSz)
    throw ERegistryException(Format("Invalid data type for '%s'", std::string(name)));
  return ToUtf8(DataUnits(data, true));
}

int32_t TRegistry::ReadDword(std::string_view name) {
  const RegValue* v = Find(name);
  const std::string data = v ? v->data() : std::string();
  if (!v || data.size() > 4) throw ERegistryException(Format("Failed to get data for '%s'", std::string(name)));
  if (v->type() != kRegDword) throw ERegistryException(Format("Invalid data type for '%s'", std::string(name)));
  uint32_t value = 0;
  std::memcpy(&value, data.data(), data.size());
  return static_cast<int32_t>(value);
}

int TRegistry::ReadBytes(std::string_view name, void* buffer, int size) {
  const RegValue* v = Find(name);
  if (!v) return 0;
  const std::string data = v->data();
  bool bytesKind = v->type() != kRegSz && v->type() != kRegExpandSz && v->type() != kRegDword;
  if (!bytesKind || size < 0 || data.size() > static_cast<size_t>(size))
    throw ERegistryException(Format("Invalid data type for '%s'", std::string(name)));
  std::memcpy(buffer, data.data(), data.size());
  return static_cast<int>(data.size());
}

void TRegistry::Write(std::string_view name, uint32_t type, std::string_view data) {
  bool ok = current_ && !current_.key->deleted() && !current_.key->isLink() &&
            current_.hive->SetValue(*current_.key, ToUtf16(name), type, data, machine_.Now());
  if (!ok) throw ERegistryException(Format("Failed to set data for '%s'", std::string(name)));
}

void TRegistry::WriteText(std::string_view name, std::string_view text) { Write(name, kRegSz, StringValueData(ToUtf16(text))); }

void TRegistry::WriteNumber(std::string_view name, int32_t value) {
  char bytes[4];
  std::memcpy(bytes, &value, 4);
  Write(name, kRegDword, std::string_view(bytes, 4));
}

void TRegistry::WriteBytes(std::string_view name, const void* buffer, int size) {
  Write(name, kRegBinary, std::string_view(static_cast<const char*>(buffer), static_cast<size_t>(std::max(size, 0))));
}

bool TRegistry::HasValue(std::string_view name) { return Find(name) != nullptr; }

bool TRegistry::RemoveValue(std::string_view name) {
  if (!current_ || current_.key->deleted()) return false;
  return current_.hive->DeleteValue(*current_.key, ToUtf16(name), machine_.Now());
}

bool TRegistry::RemoveKey(std::string_view path) {
  // The key itself goes, not the target of a link standing at its place.
  std::u16string p = ToUtf16(path);
  while (!p.empty() && p.back() == u'\\') p.pop_back();
  auto slash = p.rfind(u'\\');
  std::u16string parentPath = slash == std::u16string::npos ? u"" : p.substr(0, slash);
  std::u16string name = slash == std::u16string::npos ? p : p.substr(slash + 1);
  if (name.empty()) return false;
  bool absolute = !path.empty() && path[0] == '\\';
  KeyRef base = (absolute || !current_) ? machine_.Root(root_) : current_;
  KeyRef parent = machine_.OpenKey(base, parentPath, false);
  if (!parent) return false;
  RegKey* key = parent.key->findSubkey(name);
  return key && parent.hive->DeleteKey(*key, machine_.Now());
}

void TRegistry::ListSubkeys(std::vector<std::string>& list) {
  list.clear();
  if (!current_) return;
  for (const auto& k : current_.key->subkeys()) list.push_back(ToUtf8(k->name()));
}

void TRegistry::ListValueNames(std::vector<std::string>& list) {
  list.clear();
  if (!current_) return;
  for (const RegValue& v : current_.key->values()) list.push_back(ToUtf8(v.name()));
}

bool TRegistry::QueryKeyCounts(TRegKeyInfo& info) {
  info = {};
  if (!current_ || current_.key->deleted()) return false;
  const RegKey& k = *current_.key;
  info.NumSubKeys = static_cast<int32_t>(k.subkeys().size());
  info.NumValues = static_cast<int32_t>(k.values().size());
  for (const auto& s : k.subkeys()) info.MaxSubKeyLen = std::max(info.MaxSubKeyLen, static_cast<int32_t>(s->name().size()));
  for (const RegValue& v : k.values()) {
    info.MaxValueLen = std::max(info.MaxValueLen, static_cast<int32_t>(v.name().size()));
    info.MaxDataLen = std::max(info.MaxDataLen, static_cast<int32_t>(v.data().size()));
  }
  info.FileTime = k.modified();
  return true;
}

}  // namespace frambul::store
