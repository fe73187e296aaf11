// Wine's registry file format ("WINE REGISTRY Version 2"):
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to REGISTRY\\Machine
//
//   #arch=win64
//
//   [Software\\Classes\\.txt] 1796681153      <- key path, seconds since 1970
//   #time=1dd8697207d165e                      <- FILETIME of the last change
//   @="txtfile"                                <- default value
//   "Content Type"="text/plain"                <- REG_SZ
//   "Count"=dword:0000001f                     <- REG_DWORD
//   "Data"=hex:00,01,\                         <- REG_BINARY, wrapped
//     02                                         (hex(N): for any other type)
//   "Path"=str(2):"%SystemRoot%"               <- REG_EXPAND_SZ (str(7): REG_MULTI_SZ)
//
// Names and strings escape "\", the quote, control characters (C escapes or
// octal) and every UTF-16 unit above 127 (\x + hex). Keys are written depth
// first, siblings and values sorted without regard to case; a key with no
// values, a subkey, no class and no link is implied by its subkeys.

#include "hive.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "text.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace frambul::store {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

struct HexDigits {
  signed char value[256];
};
constexpr HexDigits MakeHexDigits() {
  HexDigits t{};
  for (int c = 0; c < 256; ++c)
    t.value[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                 : -1);
  return t;
}
constexpr HexDigits kHexDigits = MakeHexDigits();

// The value of a hexadecimal digit, or -1.
inline int HexValue(char c) { return kHexDigits.value[static_cast<unsigned char>(c)]; }

template <typename Vec, typename GetName>
size_t SortedIndex(const Vec& items, std::u16string_view name, bool* found, GetName getName) {
  size_t lo = 0, hi = items.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    int res = CompareNoCase(getName(items[mid]), name);
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

}  // namespace

size_t RegKey::valueIndex(std::u16string_view name, bool* found) const {
  return SortedIndex(values_, name, found, [](const RegValue& v) -> std::u16string_view { return v.name; });
}

size_t RegKey::subkeyIndex(std::u16string_view name, bool* found) const {
  return SortedIndex(subkeys_, name, found,
                     [](const std::unique_ptr<RegKey>& k) -> std::u16string_view { return k->name_; });
}

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
  if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) return {};
  return DataUnits(value->data, true);
}

std::string StringValueData(std::u16string_view text) {
  std::string data(text.size() * 2 + 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    data[2 * i] = static_cast<char>(text[i] & 0xFF);
    data[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return data;
}

const RegValue* RegKey::findValue(std::u16string_view name) const {
  bool found;
  size_t i = valueIndex(name, &found);
  return found ? &values_[i] : nullptr;
}

RegKey* RegKey::findSubkey(std::u16string_view name) const {
  bool found;
  size_t i = subkeyIndex(name, &found);
  return found ? subkeys_[i].get() : nullptr;
}

// ---------------------------------------------------------------------------
// Parser

class HiveParser {
 public:
  HiveParser(Hive& hive, std::string_view text, const std::string& fileName, int64_t now)
      : hive_(hive), text_(text), fileName_(fileName), now_(now) {}

  void Run();

 private:
  enum class State { Header, Keys };

  bool NextLine();
  void Problem(const char* what);
  // Decodes an escaped string up to `end`; gives the position after `end`, or npos.
  size_t ParseString(std::string_view s, char end, std::u16string& out);
  void ParseKeyLine(std::string_view s);
  void ParseOption(std::string_view s);
  void ParseValueLine(std::string_view s);
  bool ParseHex(std::string_view s, std::string& out);
  void FinishKey();
  static void UpdateKeyTime(RegKey* key, int64_t modif);

  Hive& hive_;
  std::string_view text_;
  const std::string& fileName_;
  int64_t now_;

  size_t pos_ = 0;
  size_t lineNo_ = 0;
  std::string_view line_;

  State state_ = State::Header;
  RegKey* key_ = nullptr;
  int64_t keyModif_ = 0;
  std::vector<std::u16string> prevPath_;
  std::vector<RegKey*> prevChain_;
  std::u16string scratch_;
  std::string problems_;
  int problemCount_ = 0;
};

bool HiveParser::NextLine() {
  if (pos_ >= text_.size()) return false;
  const char* start = text_.data() + pos_;
  const void* nl = std::memchr(start, '\n', text_.size() - pos_);
  size_t len = nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) : text_.size() - pos_;
  pos_ += len + (nl ? 1 : 0);
  if (len && start[len - 1] == '\r') --len;
  line_ = std::string_view(start, len);
  ++lineNo_;
  return true;
}

void HiveParser::Problem(const char* what) {
  if (++problemCount_ <= 10) {
    problems_ += fileName_ + ":" + std::to_string(lineNo_) + ": " + what + ": '" +
                 std::string(line_.substr(0, 200)) + "'\n";
  }
}

size_t HiveParser::ParseString(std::string_view s, char end, std::u16string& out) {
  out.clear();
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] != end) {
    // Runs of plain ASCII, most of every file, are copied in one go.
    size_t run = i;
    while (run < n && s[run] != end && s[run] != '\\' && static_cast<unsigned char>(s[run]) < 0x80) ++run;
    if (run > i) {
      size_t at = out.size();
      out.resize(at + run - i);
      for (size_t k = i; k < run; ++k) out[at++] = static_cast<unsigned char>(s[k]);
      i = run;
      continue;
    }
    char c = s[i];
    if (c == '\\') {
      if (++i >= n) break;
      c = s[i];
      char16_t esc = 0;
      switch (c) {
        case 'a': esc = u'\a'; break;
        case 'b': esc = u'\b'; break;
        case 'e': esc = 0x1b; break;
        case 'f': esc = u'\f'; break;
        case 'n': esc = u'\n'; break;
        case 'r': esc = u'\r'; break;
        case 't': esc = u'\t'; break;
        case 'v': esc = u'\v'; break;
        default: break;
      }
      if (esc) {
        out.push_back(esc);
        ++i;
        continue;
      }
      if (c == 'x') {
        ++i;
        if (i >= n || HexValue(s[i]) < 0) {
          out.push_back(u'x');
          continue;
        }
        unsigned v = 0;
        for (int k = 0; k < 4 && i < n && HexValue(s[i]) >= 0; ++k) v = v * 16 + static_cast<unsigned>(HexValue(s[i++]));
        out.push_back(static_cast<char16_t>(v));
        continue;
      }
      if (c >= '0' && c <= '7') {
        unsigned v = 0;
        for (int k = 0; k < 3 && i < n && s[i] >= '0' && s[i] <= '7'; ++k) v = v * 8 + static_cast<unsigned>(s[i++] - '0');
        out.push_back(static_cast<char16_t>(v));
        continue;
      }
      // Any other escaped character stands for itself.
    }
    unsigned char uc = static_cast<unsigned char>(c);
    if (uc < 0x80) {
      out.push_back(uc);
      ++i;
      continue;
    }
    // Raw UTF-8, which Wine accepts on input.
    int32_t at = static_cast<int32_t>(i);
    UChar32 cp;
    U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), at, static_cast<int32_t>(n), cp);
    if (cp < 0) return std::string_view::npos;
    i = static_cast<size_t>(at);
    if (cp >= 0x10000) {
      out.push_back(U16_LEAD(cp));
      out.push_back(U16_TRAIL(cp));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  if (i >= n) return std::string_view::npos;
  return i + 1;
}

void HiveParser::UpdateKeyTime(RegKey* key, int64_t modif) {
  // As Wine: a key takes the first time given for it; implied parents take
  // the time of their first subkey.
  while (key && !key->modif_) {
    key->modif_ = modif;
    key = key->parent_;
  }
}

void HiveParser::FinishKey() {
  if (key_) UpdateKeyTime(key_, keyModif_);
}

void HiveParser::ParseKeyLine(std::string_view s) {
  FinishKey();
  key_ = nullptr;
  size_t after = ParseString(s.substr(1), ']', scratch_);
  if (after == std::string_view::npos) return Problem("Malformed key");
  std::string_view rest = s.substr(1 + after);
  size_t i = 0;
  while (i < rest.size() && IsSpace(rest[i])) ++i;
  bool hasSeconds = false;
  uint64_t seconds = 0;
  while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') {
    seconds = seconds * 10 + static_cast<uint64_t>(rest[i++] - '0');
    hasSeconds = true;
    if (seconds > UINT32_MAX) return Problem("Malformed key time");
  }
  while (i < rest.size() && IsSpace(rest[i])) ++i;
  if (i != rest.size()) return Problem("Unexpected text after key");
  keyModif_ = hasSeconds ? static_cast<int64_t>(seconds) * kTicksPerSecond + kTicks1601To1970 : now_;

  // Walk the path, reusing the keys of the previous path where it agrees;
  // in a file Wine wrote, keys come in order and most prefixes repeat.
  RegKey* parent = hive_.root_.get();
  size_t depth = 0;
  std::u16string_view path = scratch_;
  size_t start = 0;
  while (start < path.size()) {
    size_t sep = path.find(u'\\', start);
    if (sep == std::u16string_view::npos) sep = path.size();
    std::u16string_view comp = path.substr(start, sep - start);
    start = sep + 1;
    if (comp.empty()) continue;  // doubled or trailing separators
    RegKey* next = nullptr;
    if (depth < prevPath_.size() && prevPath_[depth] == comp) {
      next = prevChain_[depth];
    } else {
      prevPath_.resize(depth);
      prevChain_.resize(depth);
      auto& subs = parent->subkeys_;
      bool found = false;
      size_t idx;
      if (subs.empty() || CompareNoCase(subs.back()->name_, comp) < 0) {
        idx = subs.size();
      } else {
        idx = parent->subkeyIndex(comp, &found);
      }
      if (found) {
        next = subs[idx].get();
      } else {
        auto k = std::make_unique<RegKey>();
        k->name_.assign(comp);
        k->parent_ = parent;
        next = k.get();
        subs.insert(subs.begin() + static_cast<std::ptrdiff_t>(idx), std::move(k));
      }
      prevPath_.emplace_back(comp);
      prevChain_.push_back(next);
    }
    parent = next;
    ++depth;
  }
  prevPath_.resize(depth);
  prevChain_.resize(depth);
  key_ = parent;
}

void HiveParser::ParseOption(std::string_view s) {
  if (s.starts_with("#time=")) {
    uint64_t modif = 0;
    size_t i = 6;
    for (; i < s.size() && HexValue(s[i]) >= 0; ++i) modif = modif << 4 | static_cast<uint64_t>(HexValue(s[i]));
    if (i == 6 || i != s.size()) return Problem("Malformed time");
    UpdateKeyTime(key_, static_cast<int64_t>(modif));
  } else if (s.starts_with("#class=\"")) {
    std::u16string cls;
    size_t after = ParseString(s.substr(8), '"', cls);
    if (after == std::string_view::npos || 8 + after != s.size()) return Problem("Malformed class");
    key_->hasClass_ = true;
    key_->class_ = std::move(cls);
  } else if (s == "#link") {
    key_->link_ = true;
  } else {
    Problem("Unknown key option");
  }
}

bool HiveParser::ParseHex(std::string_view s, std::string& out) {
  for (;;) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n && IsSpace(s[i])) ++i;
    while (i < n && HexValue(s[i]) >= 0) {
      int v = HexValue(s[i++]);
      if (i < n && HexValue(s[i]) >= 0) v = v * 16 + HexValue(s[i++]);
      out.push_back(static_cast<char>(v));
      while (i < n && IsSpace(s[i])) ++i;
      if (i < n && s[i] == ',') ++i;
      while (i < n && IsSpace(s[i])) ++i;
    }
    if (i == n) return true;
    if (s[i] != '\\') return false;
    for (++i; i < n; ++i)
      if (!IsSpace(s[i])) return false;
    if (!NextLine()) return false;
    s = line_;
  }
}

void HiveParser::ParseValueLine(std::string_view s) {
  if (!key_) return Problem("Value without key");
  RegValue value;
  size_t i;
  if (s[0] == '@') {
    i = 1;
  } else {
    size_t after = ParseString(s.substr(1), '"', value.name);
    if (after == std::string_view::npos) return Problem("Malformed value name");
    i = 1 + after;
  }
  const size_t n = s.size();
  while (i < n && IsSpace(s[i])) ++i;
  if (i >= n || s[i] != '=') return Problem("Malformed value name");
  ++i;
  while (i < n && IsSpace(s[i])) ++i;
  std::string_view d = s.substr(i);

  auto parseText = [&](size_t tagLen, uint32_t type) {
    size_t after = ParseString(d.substr(tagLen), '"', scratch_);
    if (after == std::string_view::npos) return false;
    for (size_t k = tagLen + after; k < d.size(); ++k)
      if (!IsSpace(d[k])) return false;
    value.type = type;
    value.data = StringValueData(scratch_);
    return true;
  };

  bool ok = false;
  if (d.starts_with("\"")) {
    ok = parseText(1, kRegSz);
  } else if (d.starts_with("str:\"")) {
    ok = parseText(5, kRegSz);
  } else if (d.starts_with("str(2):\"")) {
    ok = parseText(8, kRegExpandSz);
  } else if (d.starts_with("str(7):\"")) {
    ok = parseText(8, kRegMultiSz);
  } else if (d.starts_with("dword:")) {
    uint32_t v = 0;
    size_t k = 6, digits = 0;
    for (; k < d.size() && HexValue(d[k]) >= 0; ++k, ++digits) v = v << 4 | static_cast<uint32_t>(HexValue(d[k]));
    while (k < d.size() && IsSpace(d[k])) ++k;
    ok = digits >= 1 && digits <= 8 && k == d.size();
    value.type = kRegDword;
    value.data.assign(reinterpret_cast<const char*>(&v), 4);
  } else if (d.starts_with("hex:")) {
    value.type = kRegBinary;
    ok = ParseHex(d.substr(4), value.data);
  } else if (d.starts_with("hex(")) {
    uint64_t type = 0;
    size_t k = 4;
    for (; k < d.size() && HexValue(d[k]) >= 0 && type <= UINT32_MAX; ++k) type = type << 4 | static_cast<uint64_t>(HexValue(d[k]));
    if (k > 4 && type <= UINT32_MAX && d.substr(k).starts_with("):")) {
      value.type = static_cast<uint32_t>(type);
      ok = ParseHex(d.substr(k + 2), value.data);
    }
  }
  if (!ok) return Problem("Malformed value");

  auto& values = key_->values_;
  bool found = false;
  size_t idx;
  if (values.empty() || CompareNoCase(values.back().name, value.name) < 0) {
    idx = values.size();
  } else {
    idx = key_->valueIndex(value.name, &found);
  }
  if (found) values[idx] = std::move(value);
  else values.insert(values.begin() + static_cast<std::ptrdiff_t>(idx), std::move(value));
}

void HiveParser::Run() {
  // Wine ends every line with a line end; a last line without one was cut
  // short (a full disk, a crash) and may have lost its end: a DWORD's digits,
  // hex data, a key's time. Such a file is not taken for whole.
  if (text_.empty() || text_.back() != '\n') {
    const size_t lastLine = text_.rfind('\n') + 1;  // 0 when there is no line end at all
    lineNo_ = static_cast<size_t>(std::count(text_.begin(), text_.end(), '\n')) + 1;
    line_ = text_.substr(lastLine);
    Problem("Cut short: the last line has no line end");
    problems_.pop_back();
    throw HiveFormatError(problems_, true);
  }
  if (!NextLine() || line_ != "WINE REGISTRY Version 2") {
    lineNo_ = 1;
    throw HiveFormatError(fileName_ + ":1: not a Wine registry file (no \"WINE REGISTRY Version 2\" header)");
  }
  std::string header(line_);
  header += '\n';
  size_t headerKept = header.size();
  while (NextLine()) {
    size_t k = 0;
    while (k < line_.size() && IsSpace(line_[k])) ++k;
    std::string_view s = line_.substr(k);
    char c = s.empty() ? '\0' : s[0];
    if (state_ == State::Header) {
      if (c == '[') {
        state_ = State::Keys;
        header.resize(headerKept);
      } else {
        std::string_view kept = line_;
        while (!kept.empty() && kept.back() == '\r') kept.remove_suffix(1);  // written back with LF alone
        header.append(kept);
        header += '\n';
        if (c == ';' || c == '#') {
          if (c == '#' && !s.starts_with("#arch=")) Problem("Unknown option");
          if (s.starts_with(";; All keys relative to ")) ParseString(std::string(s.substr(24)) + "\n", '\n', hive_.rootPath_);
          headerKept = header.size();
        } else if (c != '\0') {
          Problem("Unrecognized input");
        }
        continue;
      }
    }
    switch (c) {
      case '[': ParseKeyLine(s); break;
      case '@':
      case '"': ParseValueLine(s); break;
      case '#':
        if (key_) ParseOption(s);
        else Problem("Option without key");
        break;
      case ';':   // comments between keys are not kept, as in Wine
      case '\0': break;
      default: Problem("Unrecognized input");
    }
  }
  FinishKey();
  if (state_ == State::Header) header.resize(headerKept);
  hive_.header_ = std::move(header);
  if (problemCount_) {
    if (problemCount_ > 10) problems_ += "... and " + std::to_string(problemCount_ - 10) + " more\n";
    problems_.pop_back();
    throw HiveFormatError(problems_);
  }
}

// ---------------------------------------------------------------------------
// Writer

namespace {

const char kHex[] = "0123456789abcdef";

void AppendHexNoPad(std::string& out, uint32_t v) {
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kHex[v & 15];
    v >>= 4;
  } while (v);
  while (n) out.push_back(buf[--n]);
}

bool IsAsciiHexDigit(char16_t c) { return c < 128 && HexValue(static_cast<char>(c)) >= 0; }

}  // namespace

namespace {

// Writes the escaped form of `n` UTF-16 units, read through `at`, to `p`;
// gives the end. Room for six characters per unit must be there.
template <typename UnitAt>
char* EscapeUnits(char* p, size_t n, UnitAt at, char q1, char q2) {
  static const char escapes[33] = ".......abtnvfr.............e....";
  for (size_t i = 0; i < n; ++i) {
    char16_t c = at(i);
    if (c >= 32 && c <= 127) {
      if (c == '\\' || c == q1 || c == q2) *p++ = '\\';
      *p++ = static_cast<char>(c);
    } else if (c > 127) {
      *p++ = '\\';
      *p++ = 'x';
      if (i + 1 < n && IsAsciiHexDigit(at(i + 1))) {
        for (int shift = 12; shift >= 0; shift -= 4) *p++ = kHex[(c >> shift) & 15];
      } else {
        int shift = c >= 0x1000 ? 12 : c >= 0x100 ? 8 : 4;
        for (; shift >= 0; shift -= 4) *p++ = kHex[(c >> shift) & 15];
      }
    } else {
      *p++ = '\\';
      if (escapes[c] != '.') {
        *p++ = escapes[c];
      } else if (i + 1 < n && at(i + 1) >= '0' && at(i + 1) <= '7') {
        *p++ = static_cast<char>('0' + (c >> 6));
        *p++ = static_cast<char>('0' + ((c >> 3) & 7));
        *p++ = static_cast<char>('0' + (c & 7));
      } else {
        if (c >= 8) *p++ = static_cast<char>('0' + (c >> 3));
        *p++ = static_cast<char>('0' + (c & 7));
      }
    }
  }
  return p;
}

template <typename UnitAt>
size_t AppendEscapedUnits(std::string& out, size_t n, UnitAt at, char q1, char q2) {
  const size_t before = out.size();
  out.resize(before + n * 6);
  char* end = EscapeUnits(out.data() + before, n, at, q1, q2);
  out.resize(static_cast<size_t>(end - out.data()));
  return out.size() - before;
}

}  // namespace

size_t AppendEscaped(std::string& out, std::u16string_view s, char q1, char q2) {
  return AppendEscapedUnits(out, s.size(), [s](size_t i) { return s[i]; }, q1, q2);
}

class HiveWriter {
 public:
  explicit HiveWriter(std::string& out) : out_(out) {}
  void Tree(const RegKey& base);

 private:
  void Key(const RegKey& key, const std::string& path);
  void Value(const RegValue& v);
  std::string& out_;
};

void HiveWriter::Value(const RegValue& v) {
  size_t count;
  if (!v.name.empty()) {
    out_.push_back('"');
    count = 1 + AppendEscaped(out_, v.name, '"', '"');
    out_ += "\"=";
    count += 2;
  } else {
    out_ += "@=";
    count = 2;
  }
  const std::string& d = v.data;
  switch (v.type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz:
      // Only strings that end in a NUL are written as text.
      if (d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 && d[d.size() - 2] == 0) {
        if (v.type != kRegSz) {
          out_ += "str(";
          AppendHexNoPad(out_, v.type);
          out_ += "):";
        }
        out_.push_back('"');
        const auto* b = reinterpret_cast<const unsigned char*>(d.data());
        AppendEscapedUnits(out_, (d.size() - 2) / 2, [b](size_t i) { return static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8); },
                           '"', '"');
        out_ += "\"\n";
        return;
      }
      break;
    case kRegDword:
      if (d.size() == 4) {
        uint32_t dw;
        std::memcpy(&dw, d.data(), 4);
        out_ += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out_.push_back(kHex[(dw >> shift) & 15]);
        out_.push_back('\n');
        return;
      }
      break;
    default: break;
  }
  if (v.type == kRegBinary) {
    out_ += "hex:";
    count += 4;
  } else {
    size_t before = out_.size();
    out_ += "hex(";
    AppendHexNoPad(out_, v.type);
    out_ += "):";
    count += out_.size() - before;
  }
  const size_t n = d.size();
  const size_t before = out_.size();
  out_.resize(before + n * 3 + (n / 24 + 1) * 4 + 4);
  char* p = out_.data() + before;
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(d[i]);
    *p++ = kHex[b >> 4];
    *p++ = kHex[b & 15];
    count += 2;
    if (i + 1 < n) {
      *p++ = ',';
      if (++count > 76) {
        p = std::copy_n("\\\n  ", 4, p);
        count = 2;
      }
    }
  }
  out_.resize(static_cast<size_t>(p - out_.data()));
  out_.push_back('\n');
}

void HiveWriter::Key(const RegKey& key, const std::string& path) {
  if (!key.values_.empty() || key.subkeys_.empty() || key.hasClass_ || key.link_) {
    out_ += "\n[";
    out_ += path;
    out_ += "] ";
    // As Wine computes it: signed ticks since 1970, whole seconds, cut to 32 bits.
    const auto since1970 = static_cast<int64_t>(static_cast<uint64_t>(key.modif_) - static_cast<uint64_t>(kTicks1601To1970));
    out_ += std::to_string(static_cast<uint32_t>(since1970 / kTicksPerSecond));
    out_ += "\n#time=";
    AppendHexNoPad(out_, static_cast<uint32_t>(static_cast<uint64_t>(key.modif_) >> 32));
    char low[9];
    uint32_t lo = static_cast<uint32_t>(key.modif_);
    for (int k = 7; k >= 0; --k, lo >>= 4) low[k] = kHex[lo & 15];
    out_.append(low, 8);
    out_.push_back('\n');
    if (key.hasClass_) {
      out_ += "#class=\"";
      AppendEscaped(out_, key.class_, '"', '"');
      out_ += "\"\n";
    }
    if (key.link_) out_ += "#link\n";
    for (const RegValue& v : key.values_) Value(v);
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
      AppendEscaped(path, key.name_, '[', ']');
    }
    Key(key, path);
    stack.push_back({&key, 0, parentLength});
  };
  enter(base);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next < top.key->subkeys_.size()) {
      enter(*top.key->subkeys_[top.next++]);
    } else {
      path.resize(top.pathLength);
      stack.pop_back();
    }
  }
}

// ---------------------------------------------------------------------------
// Hive

Hive::Hive() : root_(std::make_unique<RegKey>()) {}
Hive::~Hive() {
  // Taken apart level by level: destroying a deep tree recursively could run
  // out of stack.
  std::vector<std::unique_ptr<RegKey>> pending;
  auto detach = [&](RegKey& key) {
    for (auto& sub : key.subkeys_) pending.push_back(std::move(sub));
    key.subkeys_.clear();
  };
  detach(*root_);
  while (!pending.empty()) {
    std::unique_ptr<RegKey> key = std::move(pending.back());
    pending.pop_back();
    detach(*key);
  }
}

std::unique_ptr<Hive> Hive::Parse(std::string_view text, const std::string& fileName, int64_t now) {
  auto hive = std::make_unique<Hive>();
  HiveParser(*hive, text, fileName, now).Run();
  hive->sizeHint_ = text.size();
  if (!hive->root_->modif_) hive->root_->modif_ = now;
  return hive;
}

std::string Hive::Write() const {
  std::string out;
  out.reserve(sizeHint_ + sizeHint_ / 8 + 4096);
  out += header_;
  HiveWriter(out).Tree(*root_);
  return out;
}

void Hive::touch(RegKey& key, int64_t now) {
  key.modif_ = now;
  dirty_ = true;
  ++revision_;
}

RegKey* Hive::CreateSubkey(RegKey& parent, std::u16string_view name, int64_t now) {
  if (parent.deleted_ || name.empty()) return nullptr;
  bool found;
  size_t idx = parent.subkeyIndex(name, &found);
  if (found) return parent.subkeys_[idx].get();
  auto key = std::make_unique<RegKey>();
  key->name_.assign(name);
  key->parent_ = &parent;
  key->modif_ = now;
  RegKey* raw = key.get();
  parent.subkeys_.insert(parent.subkeys_.begin() + static_cast<std::ptrdiff_t>(idx), std::move(key));
  touch(parent, now);
  return raw;
}

bool Hive::SetValue(RegKey& key, std::u16string_view name, uint32_t type, std::string_view data, int64_t now) {
  if (key.deleted_) return false;
  bool found;
  size_t idx = key.valueIndex(name, &found);
  if (found) {
    RegValue& v = key.values_[idx];
    if (v.type == type && v.data == data) return true;
    v.type = type;
    v.data.assign(data);
  } else {
    RegValue v;
    v.name.assign(name);
    v.type = type;
    v.data.assign(data);
    key.values_.insert(key.values_.begin() + static_cast<std::ptrdiff_t>(idx), std::move(v));
  }
  touch(key, now);
  return true;
}

bool Hive::DeleteValue(RegKey& key, std::u16string_view name, int64_t now) {
  if (key.deleted_) return false;
  bool found;
  size_t idx = key.valueIndex(name, &found);
  if (!found) return false;
  key.values_.erase(key.values_.begin() + static_cast<std::ptrdiff_t>(idx));
  touch(key, now);
  return true;
}

bool Hive::DeleteKey(RegKey& key, int64_t now) {
  RegKey* parent = key.parent_;
  if (key.deleted_ || !parent) return false;
  auto& siblings = parent->subkeys_;
  auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& p) { return p.get() == &key; });
  if (it == siblings.end()) return false;
  std::unique_ptr<RegKey> owned = std::move(*it);
  siblings.erase(it);
  // Mark the whole subtree deleted and keep it alive for open handles.
  std::vector<RegKey*> stack{owned.get()};
  while (!stack.empty()) {
    RegKey* k = stack.back();
    stack.pop_back();
    k->deleted_ = true;
    k->values_.clear();
    for (auto& sub : k->subkeys_) {
      stack.push_back(sub.get());
      removed_.push_back(std::move(sub));
    }
    k->subkeys_.clear();
  }
  removed_.push_back(std::move(owned));
  touch(*parent, now);
  return true;
}

}  // namespace frambul::store
