// Profile files: the document gives back the input byte for byte; a Set reads
// back (also after writing and reading the file again) and changes only the
// key's own line, or only inserts lines; a Remove only deletes. The section,
// key and value come from the first bytes of the input, which is at the same
// time the file, so that real files work as seeds unchanged.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store/ini_document.h"
#include "engine/store/text.h"

using frambul::store::IniDocument;

namespace {

constexpr unsigned kCodePage = 1251;

std::string Show(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 32 && c < 127 && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

struct Call {
  std::string section, key, value;
};

[[noreturn]] void Fail(const char* what, const Call& call, std::string_view before, std::string_view after) {
  std::fprintf(stderr, "%s\n  section '%s' key '%s' value '%s'\n  before: '%.600s'\n  after:  '%.600s'\n", what,
               Show(call.section).c_str(), Show(call.key).c_str(), Show(call.value).c_str(), Show(before).c_str(),
               Show(after).c_str());
  std::abort();
}

// Reads bytes from the front of the input.
class Bytes {
 public:
  explicit Bytes(std::string_view in) : in_(in) {}
  unsigned Next() { return at_ < in_.size() ? static_cast<unsigned char>(in_[at_++]) : 0; }

 private:
  std::string_view in_;
  size_t at_ = 0;
};

// Text from a small alphabet of the characters that matter in a profile file:
// blanks, quotes, "=", ";", brackets, Cyrillic (in CP1251), a character that
// CP1251 lacks, and a line break.
std::string MakeName(Bytes& b, unsigned maxLen) {
  static const char* const kAlphabet[] = {"a", "B", "k", "9", " ", "\t", "=", ";", "[",
                                          "]", "\"", "'", "\\", "Я", "ё", "中", "\n", "_"};
  constexpr unsigned kCount = sizeof kAlphabet / sizeof kAlphabet[0];
  std::string out;
  unsigned len = b.Next() % (maxLen + 1);
  for (unsigned i = 0; i < len; ++i) out += kAlphabet[b.Next() % kCount];
  return out;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Section and key names that occur in a file in a single-byte encoding, taken
// roughly: "[name]" lines and the text before "=" of the lines after them.
void NamesInFile(std::string_view file, std::vector<std::string>& sections, std::vector<Call>& keys) {
  bool utf8 = file.starts_with("\xEF\xBB\xBF");
  if (!utf8 && (file.starts_with("\xFF\xFE") || file.starts_with("\xFE\xFF"))) return;
  auto decode = [&](std::string_view raw) {
    return utf8 ? std::string(raw) : frambul::store::DecodeCodePage(raw, kCodePage);
  };
  std::string current;
  size_t start = 0;
  while (start < file.size()) {
    size_t end = file.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = file.size();
    std::string_view line = TrimBlanks(file.substr(start, end - start));
    start = end + 1;
    if (line.starts_with("[") && line.find(']') != std::string_view::npos) {
      current = decode(TrimBlanks(line.substr(1, line.rfind(']') - 1)));
      sections.push_back(current);
    } else if (auto eq = line.find('='); eq != std::string_view::npos && !line.starts_with(";")) {
      keys.push_back({current, decode(TrimBlanks(line.substr(0, eq))), {}});
    }
  }
}

// The section, key and value of this run.
Call MakeCall(std::string_view input) {
  Bytes b(input);
  unsigned mode = b.Next() % 4;
  std::vector<std::string> sections;
  std::vector<Call> keys;
  if (mode >= 2) NamesInFile(input, sections, keys);
  Call call;
  if (mode == 3 && !keys.empty()) {
    call = keys[(b.Next() << 8 | b.Next()) % keys.size()];
  } else if (mode == 2 && !sections.empty()) {
    call.section = sections[b.Next() % sections.size()];
    call.key = MakeName(b, 6);
  } else {
    call.section = MakeName(b, 6);
    call.key = MakeName(b, 6);
  }
  call.value = MakeName(b, 10);
  return call;
}

// What reading a key gives for the value that was written: the profile
// functions drop surrounding blanks and one pair of enclosing quotes.
std::string AsRead(std::string_view value) {
  value = TrimBlanks(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// The part of `before` that an edit replaced, after the longest common head
// and tail of `before` and `after` are taken away: [from, to).
struct Changed {
  size_t from, to;
};
Changed ChangedPart(std::string_view before, std::string_view after) {
  size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
  size_t tail = 0;
  size_t room = std::min(before.size(), after.size()) - head;
  while (tail < room && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
  return {head, before.size() - tail};
}

// Whether the bytes [from, to) of the file hold a line end, reading the file
// in units of its encoding.
bool HoldsLineEnd(std::string_view file, Changed part) {
  bool le = file.starts_with("\xFF\xFE"), be = file.starts_with("\xFE\xFF");
  if (!le && !be) return file.substr(part.from, part.to - part.from).find_first_of("\r\n") != std::string_view::npos;
  // The byte-order mark is two bytes, so units start at even offsets.
  for (size_t i = part.from & ~size_t{1}; i + 1 < part.to; i += 2) {
    unsigned char lo = static_cast<unsigned char>(file[le ? i : i + 1]);
    unsigned char hi = static_cast<unsigned char>(file[le ? i + 1 : i]);
    if (hi == 0 && (lo == '\r' || lo == '\n')) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  IniDocument doc = IniDocument::Parse(input, kCodePage);
  const std::string original = doc.Serialize();
  const Call call = MakeCall(input);
  if (original != input) Fail("the document does not give back its input", call, input, original);

  const bool existed = doc.Get(call.section, call.key).has_value();
  if (!doc.Set(call.section, call.key, call.value)) {
    if (doc.Serialize() != original) Fail("a refused Set changed the file", call, original, doc.Serialize());
    return 0;
  }
  const std::string written = doc.Serialize();
  const std::string expected = AsRead(call.value);
  if (doc.Get(call.section, call.key) != expected) Fail("Set does not read back", call, original, written);
  IniDocument reread = IniDocument::Parse(written, kCodePage);
  if (reread.Serialize() != written) Fail("the written file does not read back byte for byte", call, written, reread.Serialize());
  if (reread.Get(call.section, call.key) != expected) Fail("Set does not read back from the written file", call, original, written);

  Changed part = ChangedPart(original, written);
  if (existed) {
    // Only the key's own line changed: no line end was touched.
    if (HoldsLineEnd(original, part) || HoldsLineEnd(written, ChangedPart(written, original)))
      Fail("Set of an existing key changed other lines", call, original, written);
  } else if (part.from != part.to) {
    Fail("Set of a new key changed existing bytes instead of only inserting", call, original, written);
  }

  // Remove takes away the first matching line each time, and nothing else,
  // until none is left.
  std::string current = written;
  for (int removed = 0;; ++removed) {
    bool ok = doc.Remove(call.section, call.key);
    if (!ok) {
      if (removed == 0) Fail("Remove finds no key right after Set", call, written, current);
      break;
    }
    std::string next = doc.Serialize();
    Changed gone = ChangedPart(next, current);  // what `current` has beyond `next`
    if (gone.from != gone.to) Fail("Remove changed more than deleting bytes", call, current, next);
    current = std::move(next);
    if (removed > 100000) Fail("Remove does not end", call, written, current);
  }
  if (doc.Get(call.section, call.key)) Fail("Get finds a key after Remove", call, written, current);
  if (IniDocument::Parse(current, kCodePage).Get(call.section, call.key))
    Fail("Get finds a removed key in the written file", call, written, current);
  return 0;
}
