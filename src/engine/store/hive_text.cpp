#include "hive_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "hive.h"
#include "text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace frambul::store {

namespace {

struct CharTable {
  signed char value[256];
};

// The characters that canonical text between `quote1` and `quote2` writes as they are.
constexpr CharTable MakePlain(char quote1, char quote2) {
  CharTable t{};
  for (int c = 0; c < 256; ++c) t.value[c] = c >= 32 && c <= 127 && c != '\\' && c != quote1 && c != quote2;
  return t;
}
constexpr CharTable kPlainQuoted = MakePlain('"', '"');
constexpr CharTable kPlainKey = MakePlain('[', ']');

const char kHex[] = "0123456789abcdef";
// The C escapes Wine writes for control characters; the others it writes in octal.
const char kControlEscapes[33] = ".......abtnvfr.............e....";

bool IsLetterEscape(unsigned char c) {
  return c == 'a' || c == 'b' || c == 'e' || c == 'f' || c == 'n' || c == 'r' || c == 't' || c == 'v';
}

bool IsAsciiHexDigit(char16_t c) { return c < 128 && kHexDigits.value[c] >= 0; }

constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;

// The high bit of each byte of `v` that is zero, and maybe of bytes above one
// that is: the lowest bit set marks the first zero byte.
constexpr uint64_t ZeroBytes(uint64_t v) { return (v - kOnes) & ~v & kHighs; }

// The position of the first byte from `i` on that is not plain (a control
// character, a byte above 127, a backslash or a quote), or `n`. Most text is
// plain: with SSE2 (every x86-64) this passes it sixteen bytes at a time.
template <bool kKeyPath>
size_t SkipPlain(const unsigned char* b, size_t i, size_t n) {
#if defined(__SSE2__)
  // Bytes below 32 or above 127 (negative as signed), a backslash, a quote.
  auto special = [](const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i m = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(32)), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
    if (kKeyPath) m = _mm_or_si128(m, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('[')), _mm_cmpeq_epi8(v, _mm_set1_epi8(']'))));
    else m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
    return static_cast<unsigned>(_mm_movemask_epi8(m));
  };
  for (; i + 16 <= n; i += 16)
    if (const unsigned m = special(b + i)) return i + static_cast<size_t>(std::countr_zero(m));
  if (i < n && n >= 16) {
    // The last bytes, as the end of the sixteen that end with them.
    const unsigned m = special(b + n - 16) >> (16 - (n - i));
    return m ? i + static_cast<size_t>(std::countr_zero(m)) : n;
  }
#endif
  const CharTable& plain = kKeyPath ? kPlainKey : kPlainQuoted;
  while (i < n && plain.value[b[i]]) ++i;
  return i;
}

// Scans escaped text as DecodeEscaped reads it; with `kKeyPath` the text of a
// key's path, which stops also at the "\\" between two names.
template <bool kKeyPath>
EscapedScan Scan(std::string_view s, size_t from) {
  constexpr unsigned char end = kKeyPath ? ']' : '"', quote1 = kKeyPath ? '[' : '"';
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  bool canonical = true;
  size_t i = from;
  for (;;) {
    i = SkipPlain<kKeyPath>(b, i, n);
    if (i >= n) return {EscapedScan::kBad, i, false};
    const unsigned char c = b[i];
    if (c == end) return {EscapedScan::kEnd, i, canonical};
    if (c == '\\') {
      if (i + 1 >= n) return {EscapedScan::kBad, i, false};
      const unsigned char e = b[i + 1];
      if (e == '\\') {
        if (kKeyPath) return {EscapedScan::kSeparator, i, canonical};
        i += 2;
        continue;
      }
      if (e == quote1 || e == end || IsLetterEscape(e)) {
        i += 2;
        continue;
      }
      if (e == 'x') {
        // Wine writes \x for every unit above 127 only: the fewest digits, or
        // four when a hex digit follows.
        size_t k = i + 2;
        unsigned v = 0;
        bool lower = true;
        for (; k < n && k < i + 6 && kHexDigits.value[b[k]] >= 0; ++k) {
          v = v * 16 + static_cast<unsigned>(kHexDigits.value[b[k]]);
          lower = lower && kLowerHexDigits.value[b[k]] >= 0;
        }
        const size_t digits = k - (i + 2);
        const bool hexNext = k < n && kHexDigits.value[b[k]] >= 0;
        canonical = canonical && digits && lower && v > 127 &&
                    (digits == 4 ? v >= 0x1000 || hexNext : digits == (v >= 0x100 ? 3u : 2u));
        i = digits ? k : i + 2;  // a bare \x stands for "x"
        continue;
      }
      if (e >= '0' && e <= '7') {
        // Octal for the control characters without a C escape: the fewest
        // digits, or three when an octal digit follows.
        size_t k = i + 1;
        unsigned v = 0;
        for (; k < n && k < i + 4 && b[k] >= '0' && b[k] <= '7'; ++k) v = v * 8 + (b[k] - '0');
        const size_t digits = k - (i + 1);
        const bool octalNext = k < n && b[k] >= '0' && b[k] <= '7';
        canonical = canonical && v < 32 && kControlEscapes[v] == '.' && digits == (octalNext ? 3u : v < 8 ? 1u : 2u);
        i = k;
        continue;
      }
      // Any other escaped character stands for itself; Wine writes it bare.
      canonical = false;
      ++i;
      if (e < 0x80) {
        ++i;
        continue;
      }
    } else if (c < 0x80) {
      canonical = false;  // a control character or a quote, which Wine escapes
      ++i;
      continue;
    }
    // Raw UTF-8, which Wine reads and writes escaped.
    canonical = false;
    int32_t at = 0;
    UChar32 cp;
    U8_NEXT(b + i, at, static_cast<int32_t>(std::min<size_t>(n - i, 4)), cp);
    if (cp < 0) return {EscapedScan::kBad, i, false};
    i += static_cast<size_t>(at);
  }
}

// Writes the escaped form of `n` UTF-16 units, read through `at`, to `p`;
// gives the end. Room for six characters per unit must be there.
template <typename UnitAt>
char* EscapeUnits(char* p, size_t n, UnitAt at, char q1, char q2) {
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
      if (kControlEscapes[c] != '.') {
        *p++ = kControlEscapes[c];
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

size_t DecodeEscaped(std::string_view s, char end, std::u16string& out) {
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
        if (i >= n || HexDigit(s[i]) < 0) {
          out.push_back(u'x');
          continue;
        }
        unsigned v = 0;
        for (int k = 0; k < 4 && i < n && HexDigit(s[i]) >= 0; ++k) v = v * 16 + static_cast<unsigned>(HexDigit(s[i++]));
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

std::u16string DecodeName(std::string_view text, char quote) {
  // A name's text holds no unescaped quote: it is decoded to its end.
  std::u16string units;
  DecodeEscaped(text, quote, units);
  return units;
}

namespace {

char16_t LowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

int CompareNamesFully(std::string_view a, std::string_view b, char quote) {
  // Up to the first escape, canonical text is ASCII: its bytes are its characters.
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y || ZeroBytes(x ^ (kOnes * '\\'))) break;
  }
  for (; i < n; ++i) {
    if (a[i] == '\\' || b[i] == '\\') return CompareNoCase(DecodeName(a, quote), DecodeName(b, quote));
    const int d = LowerAscii(static_cast<unsigned char>(a[i])) - LowerAscii(static_cast<unsigned char>(b[i]));
    if (d != 0) return d;
  }
  // The longer one has characters left, escaped or not.
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareName(std::string_view text, char quote, std::u16string_view units) {
  const size_t n = std::min(text.size(), units.size());
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == '\\') return CompareNoCase(DecodeName(text, quote), units);
    const int d = static_cast<int>(LowerAscii(static_cast<unsigned char>(text[i]))) - static_cast<int>(LowerUnit(units[i]));
    if (d != 0) return d;
  }
  return static_cast<int>(text.size()) - static_cast<int>(units.size());
}

size_t AppendEscaped(std::string& out, std::u16string_view s, char q1, char q2) {
  return AppendEscapedUnits(out, s.size(), [s](size_t i) { return s[i]; }, q1, q2);
}

EscapedScan ScanQuoted(std::string_view s, size_t from) { return Scan<false>(s, from); }
EscapedScan ScanKeyName(std::string_view s, size_t from) { return Scan<true>(s, from); }

DataTag ReadHexTypeTag(std::string_view d) {
  // N as Wine writes it: lower case, no leading zero, never 3 (that is "hex:").
  uint64_t type = 0;
  size_t k = 4;
  bool lower = true;
  for (; k < d.size() && HexDigit(d[k]) >= 0 && type <= UINT32_MAX; ++k) {
    type = type << 4 | static_cast<uint64_t>(HexDigit(d[k]));
    lower = lower && kLowerHexDigits.value[static_cast<unsigned char>(d[k])] >= 0;
  }
  if (k > 4 && type <= UINT32_MAX && d.substr(k).starts_with("):"))
    return {DataTag::kHex, static_cast<uint32_t>(type), k + 2, lower && (k == 5 || d[4] != '0') && type != kRegBinary};
  return {};
}

HexLine DecodeHexLine(std::string_view s, std::string& out) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  while (i < n && HexDigit(s[i]) >= 0) {
    int v = HexDigit(s[i++]);
    if (i < n && HexDigit(s[i]) >= 0) v = v * 16 + HexDigit(s[i++]);
    out.push_back(static_cast<char>(v));
    while (i < n && IsBlank(s[i])) ++i;
    if (i < n && s[i] == ',') ++i;
    while (i < n && IsBlank(s[i])) ++i;
  }
  if (i == n) return HexLine::kLast;
  if (s[i] != '\\') return HexLine::kBad;
  for (++i; i < n; ++i)
    if (!IsBlank(s[i])) return HexLine::kBad;
  return HexLine::kContinued;
}

namespace {

// Whether `size` bytes are lower-case hex digits in pairs, a comma after each.
bool DigitPairs(const unsigned char* p, size_t size) {
  size_t k = 0;
  bool ok = true;
#if defined(__SSE2__)
  // Sixteen bytes at a time, the commas where the pattern puts them.
  auto check = [p](size_t at) {
    alignas(16) static constexpr auto kCommas = [] {
      std::array<std::array<unsigned char, 16>, 3> m{};
      for (size_t phase = 0; phase < 3; ++phase)
        for (size_t t = 0; t < 16; ++t) m[phase][t] = (phase + t) % 3 == 2 ? 0xFF : 0;
      return m;
    }();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i commas = _mm_load_si128(reinterpret_cast<const __m128i*>(kCommas[at % 3].data()));
    auto within = [v](char lo, char hi) {
      return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))), _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
    };
    const __m128i digits = _mm_or_si128(within('0', '9'), within('a', 'f'));
    const __m128i good = _mm_or_si128(_mm_and_si128(commas, _mm_cmpeq_epi8(v, _mm_set1_epi8(','))), _mm_andnot_si128(commas, digits));
    return _mm_movemask_epi8(good) == 0xFFFF;
  };
  if (size >= 16) {
    for (; k + 16 <= size; k += 16) ok &= check(k);
    return ok && check(size - 16);  // the last bytes, some of them again
  }
#endif
  for (; k < size; ++k) ok &= k % 3 == 2 ? p[k] == ',' : kLowerHexDigits.value[p[k]] >= 0;
  return ok;
}

}  // namespace

bool CanonicalHex::Line(std::string_view s, bool* more) {
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0;
  if (continued_) {
    if (s.size() < 4 || b[0] != ' ' || b[1] != ' ') return false;  // a line that goes on holds data
    i = 2;
    column_ = 2;
  } else if (s.empty()) {
    *more = false;
    return true;  // no data at all
  }
  // Wine breaks the line after the first comma past column 76: a line holds
  // that many pairs and a backslash, or fewer and the end of the data.
  const size_t fit = column_ >= 76 ? 1 : (76 - column_) / 3 + 1;
  const size_t rest = s.size() - i;
  size_t pairs;
  if (rest == 3 * fit + 1 && b[s.size() - 1] == '\\') {
    pairs = fit;
    continued_ = true;
  } else if ((rest + 1) % 3 == 0 && (rest + 1) / 3 <= fit) {
    pairs = (rest + 1) / 3;
    continued_ = false;
  } else {
    return false;
  }
  if (!DigitPairs(b + i, 3 * pairs - (continued_ ? 0 : 1))) return false;
  *more = continued_;
  auto byte = [&](size_t j) {
    return static_cast<unsigned char>(kLowerHexDigits.value[b[i + 3 * j]] * 16 + kLowerHexDigits.value[b[i + 3 * j + 1]]);
  };
  last_[0] = pairs >= 2 ? byte(pairs - 2) : last_[1];
  last_[1] = byte(pairs - 1);
  bytes_ += pairs;
  return true;
}

bool CanonicalHex::WrittenAsHex(uint32_t type) const {
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz: return !(bytes_ >= 2 && bytes_ % 2 == 0 && last_[0] == 0 && last_[1] == 0);
    case kRegDword: return bytes_ != 4;
    default: return true;
  }
}

void AppendHexNoPad(std::string& out, uint32_t v) {
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kHex[v & 15];
    v >>= 4;
  } while (v);
  while (n) out.push_back(buf[--n]);
}

size_t AppendValueName(std::string& out, std::u16string_view name) {
  if (name.empty()) {
    out += "@=";
    return 2;
  }
  out.push_back('"');
  const size_t count = 1 + AppendEscaped(out, name, '"', '"');
  out += "\"=";
  return count + 2;
}

void AppendValueData(std::string& out, uint32_t type, std::string_view d, size_t count) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz:
      // Only strings that end in a NUL are written as text.
      if (d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 && d[d.size() - 2] == 0) {
        if (type != kRegSz) {
          out += "str(";
          AppendHexNoPad(out, type);
          out += "):";
        }
        out.push_back('"');
        const auto* b = reinterpret_cast<const unsigned char*>(d.data());
        AppendEscapedUnits(out, (d.size() - 2) / 2, [b](size_t i) { return static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8); },
                           '"', '"');
        out.push_back('"');
        return;
      }
      break;
    case kRegDword:
      if (d.size() == 4) {
        uint32_t dw;
        std::memcpy(&dw, d.data(), 4);
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kHex[(dw >> shift) & 15]);
        return;
      }
      break;
    default: break;
  }
  if (type == kRegBinary) {
    out += "hex:";
    count += 4;
  } else {
    size_t before = out.size();
    out += "hex(";
    AppendHexNoPad(out, type);
    out += "):";
    count += out.size() - before;
  }
  const size_t n = d.size();
  const size_t before = out.size();
  out.resize(before + n * 3 + (n / 24 + 1) * 4 + 4);
  char* p = out.data() + before;
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
  out.resize(static_cast<size_t>(p - out.data()));
}

size_t ValueDataStart(std::string_view text) { return text[0] == '@' ? 2 : ScanQuoted(text, 1).at + 2; }

std::string DecodeValueData(std::string_view d) {
  const DataTag tag = ReadDataTag(d);
  std::string out;
  switch (tag.kind) {
    case DataTag::kString: {
      std::u16string units;
      DecodeEscaped(d.substr(tag.length), '"', units);
      return StringValueData(units);
    }
    case DataTag::kDword: {
      uint32_t v = 0;
      for (size_t k = tag.length; k < d.size() && HexDigit(d[k]) >= 0; ++k) v = v << 4 | static_cast<uint32_t>(HexDigit(d[k]));
      return std::string(reinterpret_cast<const char*>(&v), 4);
    }
    case DataTag::kHex:
      for (std::string_view rest = d.substr(tag.length);;) {
        const size_t nl = rest.find('\n');
        if (DecodeHexLine(rest.substr(0, nl), out) != HexLine::kContinued || nl == std::string_view::npos) break;
        rest.remove_prefix(nl + 1);
      }
      return out;
    case DataTag::kUnknown: break;
  }
  return out;
}

}  // namespace frambul::store
