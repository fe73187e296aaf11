#include "hive.h"

#include <algorithm>
#include <cstring>

#include "hive_text.h"
#include "text.h"

namespace frambul::store {

namespace {

template <typename Item, typename NameOf>
size_t SortedIndex(std::span<Item> items, std::u16string_view name, bool* found, char quote, NameOf nameOf) {
  size_t lo = 0, hi = items.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const int res = CompareName(nameOf(items[mid]), quote, name);
    if (res == 0) {
      *found = true;
      return mid;
    }
    if (res < 0) lo = mid + 1;
    else hi = mid;
  }
  *found = false;
  return lo;
}

// Inserts `item` at `index` of an array of a key. The reader leaves each array
// in a piece of exactly its size; the first change moves it into a size-class
// piece (`inClass` then set), which later changes reuse while it has room.
template <typename T>
void InsertAt(Arena& arena, T*& items, uint32_t& count, uint8_t& flags, uint8_t inClass, size_t index, const T& item) {
  const unsigned need = Arena::ClassFor((count + 1) * sizeof(T));
  if ((flags & inClass) && Arena::ClassFor(count * sizeof(T)) == need) {
    std::memmove(items + index + 1, items + index, (count - index) * sizeof(T));
  } else {
    T* moved = static_cast<T*>(arena.AllocateClass(need));
    if (count) {
      std::memcpy(moved, items, index * sizeof(T));
      std::memcpy(moved + index + 1, items + index, (count - index) * sizeof(T));
      if (flags & inClass) arena.Release(items, Arena::ClassFor(count * sizeof(T)));
      else arena.ReleaseExact(items, count * sizeof(T));
    }
    items = moved;
    flags |= inClass;
  }
  items[index] = item;
  ++count;
}

// Removes the item at `index`; the array keeps to the size class of its count.
template <typename T>
void EraseAt(Arena& arena, T*& items, uint32_t& count, uint8_t& flags, uint8_t inClass, size_t index) {
  const unsigned had = Arena::ClassFor(count * sizeof(T)), need = Arena::ClassFor((count - 1) * sizeof(T));
  if ((flags & inClass) && (had == need || count == 1)) {
    std::memmove(items + index, items + index + 1, (count - index - 1) * sizeof(T));
    if (count == 1) {
      arena.Release(items, had);
      items = nullptr;
      flags &= static_cast<uint8_t>(~inClass);
    }
  } else {
    T* moved = count > 1 ? static_cast<T*>(arena.AllocateClass(need)) : nullptr;
    if (moved) {
      std::memcpy(moved, items, index * sizeof(T));
      std::memcpy(moved + index, items + index + 1, (count - index - 1) * sizeof(T));
    }
    if (flags & inClass) arena.Release(items, had);
    else arena.ReleaseExact(items, count * sizeof(T));
    items = moved;
    flags = moved ? static_cast<uint8_t>(flags | inClass) : static_cast<uint8_t>(flags & ~inClass);
  }
  --count;
}

// Gives back a whole array of a key.
template <typename T>
void ReleaseAll(Arena& arena, T*& items, uint32_t& count, uint8_t& flags, uint8_t inClass) {
  if (count && (flags & inClass)) arena.Release(items, Arena::ClassFor(count * sizeof(T)));
  else if (count) arena.ReleaseExact(items, count * sizeof(T));
  items = nullptr;
  count = 0;
  flags &= static_cast<uint8_t>(~inClass);
}

}  // namespace

std::u16string DataUnits(std::string_view data, bool toNul) {
  std::u16string units;
  units.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t u = static_cast<char16_t>(static_cast<unsigned char>(data[i]) | static_cast<unsigned char>(data[i + 1]) << 8);
    if (toNul && !u) break;
    units.push_back(u);
  }
  return units;
}

std::u16string StringValueText(const RegValue* value) {
  if (!value || (value->type() != kRegSz && value->type() != kRegExpandSz)) return {};
  return DataUnits(value->data(), true);
}

std::string StringValueData(std::u16string_view text) {
  std::string data(text.size() * 2 + 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    data[2 * i] = static_cast<char>(text[i] & 0xFF);
    data[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return data;
}

// ---------------------------------------------------------------------------
// Values and keys

std::string_view RegValue::nameText() const {
  const std::string_view t = text();
  return t[0] == '@' ? std::string_view() : t.substr(1, ValueDataStart(t) - 3);
}

std::u16string RegValue::name() const { return DecodeName(nameText(), '"'); }

std::string RegValue::data() const {
  const std::string_view t = text();
  return DecodeValueData(t.substr(ValueDataStart(t)));
}

std::u16string RegKey::name() const { return DecodeName(nameText(), ']'); }

size_t RegKey::valueIndex(std::u16string_view name, bool* found) const {
  return SortedIndex(values(), name, found, '"', [](const RegValue& v) { return v.nameText(); });
}

size_t RegKey::subkeyIndex(std::u16string_view name, bool* found) const {
  return SortedIndex(subkeys(), name, found, ']', [](const RegKey* k) { return k->nameText(); });
}

const RegValue* RegKey::findValue(std::u16string_view name) const {
  bool found;
  size_t i = valueIndex(name, &found);
  return found ? &values_[i] : nullptr;
}

RegKey* RegKey::findSubkey(std::u16string_view name) const {
  bool found;
  size_t i = subkeyIndex(name, &found);
  return found ? subkeys_[i] : nullptr;
}

// ---------------------------------------------------------------------------
// Writer

class HiveWriter {
 public:
  HiveWriter(const Hive& hive, std::string& out) : hive_(hive), out_(out) {}
  void Tree(const RegKey& base);

 private:
  void Key(const RegKey& key, std::string_view path);
  const Hive& hive_;
  std::string& out_;
};

void HiveWriter::Key(const RegKey& key, std::string_view path) {
  if (!key.valueCount_ && key.subkeyCount_ && !(key.flags_ & (RegKey::kHasClass | RegKey::kLink))) return;
  static const char kHex[] = "0123456789abcdef";
  out_ += "\n[";
  out_ += path;
  out_ += "] ";
  // As Wine computes it: signed ticks since 1970, whole seconds, cut to 32 bits.
  const auto since1970 = static_cast<int64_t>(static_cast<uint64_t>(key.modif_) - static_cast<uint64_t>(kTicks1601To1970));
  out_ += std::to_string(static_cast<uint32_t>(since1970 / kTicksPerSecond));
  out_ += "\n#time=";
  AppendHexNoPad(out_, static_cast<uint32_t>(static_cast<uint64_t>(key.modif_) >> 32));
  char low[8];
  uint32_t lo = static_cast<uint32_t>(key.modif_);
  for (int k = 7; k >= 0; --k, lo >>= 4) low[k] = kHex[lo & 15];
  out_.append(low, 8);
  out_.push_back('\n');
  if (key.flags_ & RegKey::kHasClass) {
    out_ += "#class=\"";
    out_ += hive_.classes_.at(&key);
    out_ += "\"\n";
  }
  if (key.flags_ & RegKey::kLink) out_ += "#link\n";
  for (const RegValue& v : key.values()) {
    out_ += v.text();
    out_.push_back('\n');
  }
}

// Depth first, without recursion: a file may nest keys deeper than the stack allows.
void HiveWriter::Tree(const RegKey& base) {
  struct Frame {
    const RegKey* key;
    size_t next;
    size_t pathLength;  // of the parent's path
  };
  std::string path;
  std::vector<Frame> stack;
  auto enter = [&](const RegKey& key) {
    const size_t parentLength = path.size();
    if (&key != &base) {
      if (key.parent_ != &base) path += "\\\\";
      path += key.nameText();
    }
    Key(key, path);
    stack.push_back({&key, 0, parentLength});
  };
  enter(base);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next < top.key->subkeyCount_) {
      enter(*top.key->subkeys_[top.next++]);
    } else {
      path.resize(top.pathLength);
      stack.pop_back();
    }
  }
}

// ---------------------------------------------------------------------------
// Hive

Hive::Hive() : root_(NewKey(nullptr, {})) {}
// Every key, array and text lies in the two arenas, which go in one go.
Hive::~Hive() = default;

void Hive::ReleaseText(const RegValue& value) {
  char* text = const_cast<char*>(value.text_);
  if (value.size_ & RegValue::kInClass) text_.Release(text, Arena::ClassFor(value.size_ & RegValue::kSizeMask));
  else text_.ReleaseExact(text, value.size_);
}

std::unique_ptr<Hive> Hive::Parse(std::string_view text, const std::string& fileName, int64_t now) {
  HiveReader reader(fileName, now);
  reader.Feed(text);
  return reader.Finish();
}

std::string Hive::Write() const {
  std::string out;
  out.reserve(sizeHint_ + sizeHint_ / 8 + 4096);
  out += header_;
  HiveWriter(*this, out).Tree(*root_);
  return out;
}

void Hive::touch(RegKey& key, int64_t now) {
  key.modif_ = now;
  dirty_ = true;
  ++revision_;
}

RegKey* Hive::CreateSubkey(RegKey& parent, std::u16string_view name, int64_t now) {
  if (parent.deleted() || name.empty()) return nullptr;
  bool found;
  size_t idx = parent.subkeyIndex(name, &found);
  if (found) return parent.subkeys_[idx];
  std::string text;
  AppendEscaped(text, name, '[', ']');
  RegKey* key = NewKey(&parent, text);
  key->modif_ = now;
  InsertAt(objects_, parent.subkeys_, parent.subkeyCount_, parent.flags_, RegKey::kSubkeysInClass, idx, key);
  touch(parent, now);
  return key;
}

bool Hive::SetValue(RegKey& key, std::u16string_view name, uint32_t type, std::string_view data, int64_t now) {
  if (key.deleted()) return false;
  bool found;
  size_t idx = key.valueIndex(name, &found);
  // The new text keeps the name as the value has it, so that equal data gives equal text.
  std::string text;
  if (found) text = key.values_[idx].text().substr(0, ValueDataStart(key.values_[idx].text()));
  else AppendValueName(text, name);
  AppendValueData(text, type, data, text.size());
  if (found && key.values_[idx].text() == text) return true;
  RegValue value;
  value.text_ = static_cast<const char*>(std::memcpy(text_.AllocateClass(Arena::ClassFor(text.size())), text.data(), text.size()));
  value.size_ = static_cast<uint32_t>(text.size()) | RegValue::kInClass;
  value.type_ = type;
  if (found) {
    ReleaseText(key.values_[idx]);
    key.values_[idx] = value;
  } else {
    InsertAt(objects_, key.values_, key.valueCount_, key.flags_, RegKey::kValuesInClass, idx, value);
  }
  touch(key, now);
  return true;
}

bool Hive::DeleteValue(RegKey& key, std::u16string_view name, int64_t now) {
  if (key.deleted()) return false;
  bool found;
  size_t idx = key.valueIndex(name, &found);
  if (!found) return false;
  ReleaseText(key.values_[idx]);
  EraseAt(objects_, key.values_, key.valueCount_, key.flags_, RegKey::kValuesInClass, idx);
  touch(key, now);
  return true;
}

bool Hive::DeleteKey(RegKey& key, int64_t now) {
  RegKey* parent = key.parent_;
  if (key.deleted() || !parent) return false;
  RegKey** at = std::find(parent->subkeys_, parent->subkeys_ + parent->subkeyCount_, &key);
  if (at == parent->subkeys_ + parent->subkeyCount_) return false;
  EraseAt(objects_, parent->subkeys_, parent->subkeyCount_, parent->flags_, RegKey::kSubkeysInClass,
          static_cast<size_t>(at - parent->subkeys_));
  // Mark the whole subtree deleted and give its arrays and texts back; the
  // keys themselves stay for the handles open on them.
  std::vector<RegKey*> stack{&key};
  while (!stack.empty()) {
    RegKey* k = stack.back();
    stack.pop_back();
    k->flags_ |= RegKey::kDeleted;
    for (const RegValue& v : k->values()) ReleaseText(v);
    ReleaseAll(objects_, k->values_, k->valueCount_, k->flags_, RegKey::kValuesInClass);
    stack.insert(stack.end(), k->subkeys_, k->subkeys_ + k->subkeyCount_);
    ReleaseAll(objects_, k->subkeys_, k->subkeyCount_, k->flags_, RegKey::kSubkeysInClass);
  }
  touch(*parent, now);
  return true;
}

}  // namespace frambul::store
