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
// values, a subkey, no class and no link is implied by its subkeys. Wine also
// reads raw UTF-8, CRLF, str:"...", keys without times and keys out of order.
//
// The reader takes the file line by line in one pass, in pieces as they come
// from the disk. Of the text it keeps each key's name and each value's line,
// copied into the hive's arena: as they are when Wine's writer would write
// them so, else (CRLF, str:, raw UTF-8, odd escapes or spacing) encoded anew
// as it would. A key line mostly repeats the path of the one before; only the
// names after the part they share are looked at.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "hive.h"
#include "hive_text.h"

namespace frambul::store {

namespace {

// How many bytes `a` and `b` share at their start.
size_t CommonPrefix(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
#if defined(__SSE2__)
  // Key paths repeat much of the one before: sixteen bytes at a time.
  auto differ = [&](size_t at) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + at));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + at));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFF;
  };
  for (; i + 16 <= n; i += 16)
    if (const unsigned d = differ(i)) return i + static_cast<size_t>(std::countr_zero(d));
  if (i < n && n >= 16) {
    const unsigned d = differ(n - 16) >> (16 - (n - i));
    return d ? i + static_cast<size_t>(std::countr_zero(d)) : n;
  }
#endif
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

#if defined(__SSE2__)
// The value of the last `digits` (1 to 16) characters of `s`, hex digits of
// either case, `s` being sixteen long at least; false when one is no digit.
bool LastHexDigits(std::string_view s, size_t digits, uint64_t* value) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + s.size() - 16));
  const __m128i lower = _mm_or_si128(v, _mm_set1_epi8(0x20));
  auto within = [](__m128i x, char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(lo - 1))), _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(hi + 1))));
  };
  const __m128i decimal = within(v, '0', '9'), letter = within(lower, 'a', 'f');
  const unsigned wanted = 0xFFFFu << (16 - digits) & 0xFFFF;
  if ((static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(decimal, letter))) & wanted) != wanted) return false;
  // Nibbles, the bytes before the digits zero, then pairs of them into bytes.
  static constexpr auto kKeep = [] {
    std::array<unsigned char, 32> keep{};
    for (size_t i = 16; i < 32; ++i) keep[i] = 0xFF;
    return keep;
  }();
  __m128i nibbles = _mm_or_si128(_mm_and_si128(decimal, _mm_sub_epi8(v, _mm_set1_epi8('0'))),
                                 _mm_and_si128(letter, _mm_sub_epi8(lower, _mm_set1_epi8('a' - 10))));
  nibbles = _mm_and_si128(nibbles, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep.data() + digits)));
  const __m128i pairs = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0xF0)), _mm_srli_epi16(nibbles, 8));
  *value = __builtin_bswap64(static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(pairs, pairs))));
  return true;
}
#endif

// Whether ten characters are decimal digits: eight at once, then two.
bool TenDigits(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0, kThrees = 0x3030303030303030, kSixes = 0x0606060606060606;
  // Every byte 0x30..0x3F, and still after adding 6: 0x30..0x39.
  return (w & kHigh) == kThrees && ((w + kSixes) & kHigh) == kThrees && p[8] >= '0' && p[8] <= '9' && p[9] >= '0' &&
         p[9] <= '9';
}

bool IsLowerHex(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

class HiveParser {
 public:
  HiveParser(const std::string& fileName, int64_t now);
  void Feed(std::string_view piece);
  std::unique_ptr<Hive> Finish();

 private:
  // Header: the lines before the first key; Keys: keys, their options and
  // values; HexData: the next line continues a value's hex data; Ignored: not
  // a registry file, read on only to tell whether it was cut short.
  enum class State { Header, Keys, HexData, Ignored };

  void Line(std::string_view line);
  void HeaderLine(std::string_view s, char c);
  void Problem(const char* what);
  void KeyLine(std::string_view s);
  void OptionLine(std::string_view s);
  void ValueLine(std::string_view s);
  void DecodedValueLine(std::string_view s);
  void HexDataLine(std::string_view line);
  // A value's text as Wine writes it, `name` the part of it between the
  // quotes, for the key the lines belong to.
  void AddValue(std::string_view text, std::string_view name, uint32_t type);
  void AddDecoded(std::u16string_view name, uint32_t type, std::string_view data);
  // Steps from the deepest key of the path into its subkey named `text`, made when missing.
  void Descend(std::string_view text);
  // Puts the subkeys of the deepest key of the path into their array.
  void CloseDeepest();
  void FinishKey();
  static void UpdateKeyTime(RegKey* key, int64_t modif);

  std::unique_ptr<Hive> hive_;
  std::string fileName_;
  int64_t now_;
  State state_ = State::Header;

  std::string carry_;  // the start of a line that the end of a piece cut
  size_t bytes_ = 0;
  size_t lineNo_ = 0;
  std::string_view line_;  // the line read, for problems
  std::string problems_;
  int problemCount_ = 0;
  std::string header_;
  size_t headerKept_ = 0;

  // The key the lines now belong to, the time its key line gave, its values
  // and the name of the last of them.
  RegKey* key_ = nullptr;
  int64_t keyModif_ = 0;
  char seconds_[10] = {};  // the time in the key line as Wine writes it, when keyModif_ is still to be read from it
  bool secondsPending_ = false;
  std::vector<RegValue> values_;
  std::string_view lastName_;

  // The last key line's path: its keys from the root down, the subkeys found
  // so far of each (those of chain_[d] from subkeysFrom_[d] on in subkeys_), the
  // path's text and where each name of it ends.
  struct Step {
    size_t end;    // in path_
    size_t depth;  // in chain_, after the name
  };
  std::vector<RegKey*> chain_;
  std::vector<size_t> subkeysFrom_;
  std::vector<RegKey*> subkeys_;
  std::string path_;
  std::vector<Step> steps_;
  struct Name {
    size_t begin, end;
    bool canonical;
  };
  std::vector<Name> names_;

  // A value whose hex data goes on in the next lines: its text while that is
  // as Wine writes it, else the name and data decoded so far.
  struct PendingHex {
    bool canonical = true;
    std::string text;
    size_t nameSize = 0;
    CanonicalHex shape{0};
    uint32_t type = 0;
    std::u16string name;
    std::string data;
    std::string line;  // the last line, for a problem at the end of the file
  } hex_;

  std::u16string units_;
  std::string scratch_;
};

HiveParser::HiveParser(const std::string& fileName, int64_t now)
    : hive_(new Hive()), fileName_(fileName), now_(now), chain_{hive_->root_}, subkeysFrom_{0} {}

void HiveParser::Feed(std::string_view piece) {
  bytes_ += piece.size();
  const char* p = piece.data();
  const char* const end = p + piece.size();
  // Should the file end inside hex data, the problem names the last line:
  // kept once a piece, before the piece goes.
  auto keepLastLine = [this] {
    if (state_ == State::HexData) hex_.line.assign(line_);
  };
  if (!carry_.empty()) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', piece.size()));
    if (!nl) {
      carry_.append(p, piece.size());
      return;
    }
    carry_.append(p, static_cast<size_t>(nl - p));
    Line(carry_);
    keepLastLine();
    carry_.clear();
    p = nl + 1;
  }
  const char* first = p;
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!nl) {
      carry_.assign(p, static_cast<size_t>(end - p));
      break;
    }
    Line(std::string_view(p, static_cast<size_t>(nl - p)));
    p = nl + 1;
  }
  if (p != first) keepLastLine();
}

void HiveParser::Problem(const char* what) {
  if (++problemCount_ <= 10) {
    problems_ += fileName_ + ":" + std::to_string(lineNo_) + ": " + what + ": '" +
                 std::string(line_.substr(0, 200)) + "'\n";
  }
}

void HiveParser::Line(std::string_view line) {
  ++lineNo_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  line_ = line;
  if (state_ == State::Ignored) return;
  if (state_ == State::HexData) return HexDataLine(line);
  if (lineNo_ == 1) {
    if (line != "WINE REGISTRY Version 2") state_ = State::Ignored;
    header_.assign(line).push_back('\n');
    headerKept_ = header_.size();
    return;
  }
  size_t k = 0;
  while (k < line.size() && IsBlank(line[k])) ++k;
  const std::string_view s = line.substr(k);
  const char c = s.empty() ? '\0' : s[0];
  if (state_ == State::Header) {
    if (c != '[') return HeaderLine(s, c);
    state_ = State::Keys;
    header_.resize(headerKept_);
  }
  switch (c) {
    case '[': KeyLine(s); break;
    case '@':
    case '"': ValueLine(s); break;
    case '#':
      if (key_) OptionLine(s);
      else Problem("Option without key");
      break;
    case ';':  // comments between keys are not kept, as in Wine
    case '\0': break;
    default: Problem("Unrecognized input");
  }
}

void HiveParser::HeaderLine(std::string_view s, char c) {
  std::string_view kept = line_;
  while (!kept.empty() && kept.back() == '\r') kept.remove_suffix(1);  // written back with LF alone
  header_.append(kept);
  header_ += '\n';
  if (c == ';' || c == '#') {
    if (c == '#' && !s.starts_with("#arch=")) Problem("Unknown option");
    if (s.starts_with(";; All keys relative to ")) DecodeEscaped(std::string(s.substr(24)) + "\n", '\n', hive_->rootPath_);
    headerKept_ = header_.size();
  } else if (c != '\0') {
    Problem("Unrecognized input");
  }
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
  if (!key_) return;
  if (!key_->modif_ && secondsPending_) {
    uint64_t seconds = 0;
    for (char digit : seconds_) seconds = seconds * 10 + static_cast<uint64_t>(digit - '0');
    keyModif_ = static_cast<int64_t>(seconds) * kTicksPerSecond + kTicks1601To1970;
  }
  UpdateKeyTime(key_, keyModif_);
  if (values_.empty()) return;
  auto* values = static_cast<RegValue*>(hive_->objects_.Allocate(values_.size() * sizeof(RegValue), alignof(RegValue)));
  std::copy(values_.begin(), values_.end(), values);
  key_->values_ = values;
  key_->valueCount_ = static_cast<uint32_t>(values_.size());
  values_.clear();
}

void HiveParser::CloseDeepest() {
  RegKey* key = chain_.back();
  const size_t from = subkeysFrom_.back(), count = subkeys_.size() - from;
  if (count) {
    auto* subkeys = static_cast<RegKey**>(hive_->objects_.Allocate(count * sizeof(RegKey*), alignof(RegKey*)));
    std::copy(subkeys_.begin() + static_cast<std::ptrdiff_t>(from), subkeys_.end(), subkeys);
    key->subkeys_ = subkeys;
    key->subkeyCount_ = static_cast<uint32_t>(count);
    subkeys_.resize(from);
  }
  chain_.pop_back();
  subkeysFrom_.pop_back();
}

void HiveParser::Descend(std::string_view text) {
  RegKey* parent = chain_.back();
  const auto first = subkeys_.begin() + static_cast<std::ptrdiff_t>(subkeysFrom_.back());
  RegKey* key;
  // In a file Wine wrote, keys come in order: a new one sorts after the subkeys so far.
  if (first == subkeys_.end() || CompareNames(subkeys_.back()->nameText(), text, ']') < 0) {
    key = hive_->NewKey(parent, text);
    subkeys_.push_back(key);
  } else {
    auto at = std::lower_bound(first, subkeys_.end(), text,
                               [](const RegKey* k, std::string_view t) { return CompareNames(k->nameText(), t, ']') < 0; });
    if (at != subkeys_.end() && CompareNames((*at)->nameText(), text, ']') == 0) {
      key = *at;
    } else {
      key = hive_->NewKey(parent, text);
      subkeys_.insert(at, key);
    }
  }
  chain_.push_back(key);
  subkeysFrom_.push_back(subkeys_.size());
  // A key met again (keys out of order) takes up its subkeys once more.
  if (key->subkeyCount_) {
    subkeys_.insert(subkeys_.end(), key->subkeys_, key->subkeys_ + key->subkeyCount_);
    hive_->objects_.ReleaseExact(key->subkeys_, key->subkeyCount_ * sizeof(RegKey*));
    key->subkeys_ = nullptr;
    key->subkeyCount_ = 0;
  }
}

void HiveParser::KeyLine(std::string_view s) {
  FinishKey();
  key_ = nullptr;
  const std::string_view path = s.substr(1);
  // The names this path shares with the last one lead to the same keys.
  const size_t common = CommonPrefix(path, path_);
  // A name is shared when the text up to its end is, and this path ends or
  // goes on there too; then so are all before it.
  auto shared = [&](const Step& step) {
    return step.end <= common && step.end < path.size() &&
           (path[step.end] == ']' || path.substr(step.end).starts_with("\\\\"));
  };
  size_t keep = steps_.size();
  while (keep && !shared(steps_[keep - 1])) --keep;
  size_t at = keep ? steps_[keep - 1].end : 0;
  names_.clear();
  if (!keep || path[at] != ']') {
    if (keep) at += 2;
    for (;;) {
      const EscapedScan scan = ScanKeyName(path, at);
      if (scan.stop == EscapedScan::kBad) return Problem("Malformed key");
      names_.push_back({at, scan.at, scan.canonical});
      at = scan.at;
      if (scan.stop == EscapedScan::kEnd) break;
      at += 2;
    }
  }
  const std::string_view rest = path.substr(at + 1);
  if (rest.size() == 11 && rest[0] == ' ' && TenDigits(rest.data() + 1)) {
    // As Wine writes it: a blank and ten digits, read only for a key that
    // has no #time line (Wine writes one for every key).
    if (std::memcmp(rest.data() + 1, "4294967295", 10) > 0) return Problem("Malformed key time");
    std::memcpy(seconds_, rest.data() + 1, 10);
    secondsPending_ = true;
  } else {
    secondsPending_ = false;
    bool hasSeconds = false;
    uint64_t seconds = 0;
    size_t i = 0;
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') {
      seconds = seconds * 10 + static_cast<uint64_t>(rest[i++] - '0');
      hasSeconds = true;
      if (seconds > UINT32_MAX) return Problem("Malformed key time");
    }
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    if (i != rest.size()) return Problem("Unexpected text after key");
    keyModif_ = hasSeconds ? static_cast<int64_t>(seconds) * kTicksPerSecond + kTicks1601To1970 : now_;
  }

  // Keys of the last path that this one leaves have all their subkeys.
  const size_t depth = keep ? steps_[keep - 1].depth : 0;
  while (chain_.size() > depth + 1) CloseDeepest();
  steps_.resize(keep);
  for (const Name& name : names_) {
    const std::string_view text = path.substr(name.begin, name.end - name.begin);
    if (name.canonical) {
      if (!text.empty()) Descend(text);  // doubled or trailing separators name no key
    } else {
      // Decoded, a name may hold more backslashes (\x5c): they part names too.
      DecodeEscaped(text, ']', units_);
      for (size_t from = 0; from <= units_.size();) {
        const size_t sep = std::min(units_.find(u'\\', from), units_.size());
        if (sep > from) {
          scratch_.clear();
          AppendEscaped(scratch_, std::u16string_view(units_).substr(from, sep - from), '[', ']');
          Descend(scratch_);
        }
        from = sep + 1;
      }
    }
    steps_.push_back({name.end, chain_.size() - 1});
  }
  // The part shared with the last path is in place already.
  path_.resize(std::min(common, at));
  path_.append(path.data() + path_.size(), at - path_.size());
  key_ = chain_.back();
  // A key met again (keys out of order) takes up its values once more.
  if (key_->valueCount_) {
    values_.assign(key_->values_, key_->values_ + key_->valueCount_);
    lastName_ = values_.back().nameText();
    hive_->objects_.ReleaseExact(key_->values_, key_->valueCount_ * sizeof(RegValue));
    key_->values_ = nullptr;
    key_->valueCount_ = 0;
  }
}

void HiveParser::OptionLine(std::string_view s) {
  if (s.starts_with("#time=")) {
    uint64_t modif = 0;
    size_t i = 6;
#if defined(__SSE2__)
    // As Wine writes it: ten digits or more, sixteen at most, read at once.
    if (s.size() >= 16 && s.size() <= 6 + 16) {
      if (!LastHexDigits(s, s.size() - 6, &modif)) return Problem("Malformed time");
    } else
#endif
    {
      for (int digit; i < s.size() && (digit = HexDigit(s[i])) >= 0; ++i) modif = modif << 4 | static_cast<uint64_t>(digit);
      if (i == 6 || i != s.size()) return Problem("Malformed time");
    }
    UpdateKeyTime(key_, static_cast<int64_t>(modif));
  } else if (s.starts_with("#class=\"")) {
    const EscapedScan scan = ScanQuoted(s, 8);
    if (scan.stop != EscapedScan::kEnd || scan.at + 1 != s.size()) return Problem("Malformed class");
    std::string_view text = s.substr(8, scan.at - 8);
    if (!scan.canonical) {
      scratch_.clear();
      AppendEscaped(scratch_, DecodeName(text, '"'), '"', '"');
      text = scratch_;
    }
    hive_->classes_[key_] = std::string_view(hive_->Keep(text), text.size());
    key_->flags_ |= RegKey::kHasClass;
  } else if (s == "#link") {
    key_->flags_ |= RegKey::kLink;
  } else {
    Problem("Unknown key option");
  }
}

void HiveParser::ValueLine(std::string_view s) {
  if (!key_) return Problem("Value without key");
  // Most lines are as Wine writes them, and are kept as they are.
  size_t eq = 1;
  bool canonical = true;
  if (s[0] == '"') {
    const EscapedScan scan = ScanQuoted(s, 1);
    canonical = scan.stop == EscapedScan::kEnd && scan.canonical && scan.at > 1;  // "" is written @
    eq = scan.at + 1;
  }
  const std::string_view name = s.substr(1, eq - 1 - (s[0] == '"'));
  if (canonical && eq < s.size() && s[eq] == '=') {
    const std::string_view d = s.substr(eq + 1);
    const DataTag tag = ReadDataTag(d);
    if (tag.canonical) {
      switch (tag.kind) {
        case DataTag::kString: {
          const EscapedScan text = ScanQuoted(d, tag.length);
          if (text.stop == EscapedScan::kEnd && text.canonical && text.at + 1 == d.size()) return AddValue(s, name, tag.type);
          break;
        }
        case DataTag::kDword:
          if (d.size() == tag.length + 8 && IsLowerHex(d.substr(tag.length))) return AddValue(s, name, tag.type);
          break;
        case DataTag::kHex: {
          CanonicalHex shape(eq + 1 + tag.length);
          bool more;
          if (!shape.Line(d.substr(tag.length), &more)) break;
          if (more) {
            hex_.canonical = true;
            hex_.text.assign(s);
            hex_.nameSize = name.size();
            hex_.shape = shape;
            hex_.type = tag.type;
            state_ = State::HexData;
            return;
          }
          if (shape.WrittenAsHex(tag.type)) return AddValue(s, name, tag.type);
          break;
        }
        case DataTag::kUnknown: break;
      }
    }
  }
  DecodedValueLine(s);
}

// A value line not as Wine writes it: decoded, then kept as Wine would write it.
void HiveParser::DecodedValueLine(std::string_view s) {
  std::u16string name;
  size_t i = 1;
  if (s[0] == '"') {
    const size_t after = DecodeEscaped(s.substr(1), '"', name);
    if (after == std::string_view::npos) return Problem("Malformed value name");
    i = 1 + after;
  }
  const size_t n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  if (i >= n || s[i] != '=') return Problem("Malformed value name");
  ++i;
  while (i < n && IsBlank(s[i])) ++i;
  const std::string_view d = s.substr(i);
  const DataTag tag = ReadDataTag(d);
  std::string data;
  bool ok = false;
  switch (tag.kind) {
    case DataTag::kString: {
      const size_t after = DecodeEscaped(d.substr(tag.length), '"', units_);
      if (after == std::string_view::npos) break;
      ok = std::all_of(d.begin() + static_cast<std::ptrdiff_t>(tag.length + after), d.end(), IsBlank);
      data = StringValueData(units_);
      break;
    }
    case DataTag::kDword: {
      uint32_t v = 0;
      size_t k = tag.length, digits = 0;
      for (; k < d.size() && HexDigit(d[k]) >= 0; ++k, ++digits) v = v << 4 | static_cast<uint32_t>(HexDigit(d[k]));
      while (k < d.size() && IsBlank(d[k])) ++k;
      ok = digits >= 1 && digits <= 8 && k == d.size();
      data.assign(reinterpret_cast<const char*>(&v), 4);
      break;
    }
    case DataTag::kHex:
      switch (DecodeHexLine(d.substr(tag.length), data)) {
        case HexLine::kLast: ok = true; break;
        case HexLine::kBad: break;
        case HexLine::kContinued:
          hex_.canonical = false;
          hex_.name = std::move(name);
          hex_.type = tag.type;
          hex_.data = std::move(data);
          state_ = State::HexData;
          return;
      }
      break;
    case DataTag::kUnknown: break;
  }
  if (!ok) return Problem("Malformed value");
  AddDecoded(name, tag.type, data);
}

void HiveParser::HexDataLine(std::string_view line) {
  if (hex_.canonical) {
    bool more;
    if (hex_.shape.Line(line, &more)) {
      hex_.text += '\n';
      hex_.text += line;
      if (more) return;
      state_ = State::Keys;
      if (hex_.shape.WrittenAsHex(hex_.type))
        return AddValue(hex_.text, std::string_view(hex_.text).substr(1, hex_.nameSize), hex_.type);
    }
    // Not as Wine writes it from here on: what came so far, decoded.
    const size_t start = ValueDataStart(hex_.text);
    hex_.name = DecodeName(hex_.text[0] == '@' ? std::string_view() : std::string_view(hex_.text).substr(1, start - 3), '"');
    hex_.data = DecodeValueData(std::string_view(hex_.text).substr(start));
    hex_.canonical = false;
    if (state_ == State::Keys) return AddDecoded(hex_.name, hex_.type, hex_.data);
  }
  switch (DecodeHexLine(line, hex_.data)) {
    case HexLine::kContinued: return;
    case HexLine::kBad:
      state_ = State::Keys;
      return Problem("Malformed value");
    case HexLine::kLast:
      state_ = State::Keys;
      return AddDecoded(hex_.name, hex_.type, hex_.data);
  }
}

void HiveParser::AddDecoded(std::u16string_view name, uint32_t type, std::string_view data) {
  scratch_.clear();
  const size_t column = AppendValueName(scratch_, name);
  AppendValueData(scratch_, type, data, column);
  AddValue(scratch_, std::string_view(scratch_).substr(1, name.empty() ? 0 : column - 3), type);
}

void HiveParser::AddValue(std::string_view text, std::string_view name, uint32_t type) {
  if (text.size() > RegValue::kSizeMask) return Problem("Malformed value");
  RegValue value;
  value.text_ = hive_->Keep(text);
  value.size_ = static_cast<uint32_t>(text.size());
  value.type_ = type;
  name = std::string_view(value.text_ + (name.data() - text.data()), name.size());
  // In a file Wine wrote, values come in order: a new one sorts after the others.
  if (values_.empty() || CompareNames(lastName_, name, '"') < 0) {
    values_.push_back(value);
    lastName_ = name;
    return;
  }
  auto at = std::lower_bound(values_.begin(), values_.end(), name,
                             [](const RegValue& v, std::string_view n) { return CompareNames(v.nameText(), n, '"') < 0; });
  if (at != values_.end() && CompareNames(at->nameText(), name, '"') == 0) {
    // A value given twice: the last one counts.
    hive_->ReleaseText(*at);
    *at = value;
    if (at + 1 == values_.end()) lastName_ = name;
  } else {
    values_.insert(at, value);
  }
}

std::unique_ptr<Hive> HiveParser::Finish() {
  // Wine ends every line with a line end; a last line without one was cut
  // short (a full disk, a crash) and may have lost its end: a DWORD's digits,
  // hex data, a key's time. Such a file is not taken for whole.
  if (!bytes_ || !carry_.empty()) {
    throw HiveFormatError(fileName_ + ":" + std::to_string(lineNo_ + 1) +
                              ": Cut short: the last line has no line end: '" + carry_.substr(0, 200) + "'",
                          true);
  }
  if (state_ == State::Ignored)
    throw HiveFormatError(fileName_ + ":1: not a Wine registry file (no \"WINE REGISTRY Version 2\" header)");
  if (state_ == State::HexData) {
    line_ = hex_.line;  // the data was to go on after the last line
    Problem("Malformed value");
  }
  FinishKey();
  while (!chain_.empty()) CloseDeepest();
  if (state_ == State::Header) header_.resize(headerKept_);
  hive_->header_ = std::move(header_);
  if (problemCount_) {
    if (problemCount_ > 10) problems_ += "... and " + std::to_string(problemCount_ - 10) + " more\n";
    problems_.pop_back();
    throw HiveFormatError(problems_);
  }
  hive_->sizeHint_ = bytes_;
  if (!hive_->root_->modif_) hive_->root_->modif_ = now_;
  return std::move(hive_);
}

HiveReader::HiveReader(const std::string& fileName, int64_t now) : parser_(std::make_unique<HiveParser>(fileName, now)) {}
HiveReader::~HiveReader() = default;
void HiveReader::Feed(std::string_view piece) { parser_->Feed(piece); }
std::unique_ptr<Hive> HiveReader::Finish() { return parser_->Finish(); }

}  // namespace frambul::store
