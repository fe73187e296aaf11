#pragma once
// Wine's registry text piece by piece, shared by the reader, the writer and
// the tree: the escapes of names and strings, the type tags of value data, hex
// data, and the text of a value as Wine's files write it. "Canonical" text is
// exactly what Wine's own writer produces; the tree keeps every name and value
// in that form, so that writing an unchanged one is a copy.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hive.h"

namespace frambul::store {

// Blanks as Wine's loader skips them (a CR too, so that CRLF files read).
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Hexadecimal digits by character: their value, or -1.
struct HexDigitTable {
  signed char value[256];
};
constexpr HexDigitTable MakeHexDigitTable(bool lowerOnly) {
  HexDigitTable t{};
  for (int c = 0; c < 256; ++c)
    t.value[c] = static_cast<signed char>(c >= '0' && c <= '9'                 ? c - '0'
                                          : c >= 'a' && c <= 'f'               ? c - 'a' + 10
                                          : c >= 'A' && c <= 'F' && !lowerOnly ? c - 'A' + 10
                                                                               : -1);
  return t;
}
inline constexpr HexDigitTable kHexDigits = MakeHexDigitTable(false);
inline constexpr HexDigitTable kLowerHexDigits = MakeHexDigitTable(true);  // as Wine writes them

// The value of a hexadecimal digit of either case, or -1.
inline int HexDigit(char c) { return kHexDigits.value[static_cast<unsigned char>(c)]; }

// Decodes escaped text up to the first unescaped `end`: C escapes, octal,
// \x with up to four hex digits, any other escaped character standing for
// itself, raw UTF-8. Gives the position after `end`, or npos when the text
// does not reach it or holds invalid UTF-8.
size_t DecodeEscaped(std::string_view s, char end, std::u16string& out);

// The characters of a name as Wine's files write it: `quote` is "]" for a
// key's name, "\"" for a value's.
std::u16string DecodeName(std::string_view text, char quote);
// Compares names as Wine orders them (UTF-16 units, without regard to case),
// as Wine's files write them.
int CompareNamesFully(std::string_view a, std::string_view b, char quote);
// The same, quick for names that part in their first character, as most do.
inline int CompareNames(std::string_view a, std::string_view b, char quote) {
  // Up to an escape, canonical text is ASCII.
  if (!a.empty() && !b.empty() && a[0] != b[0] && a[0] != '\\' && b[0] != '\\') {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c + 0; };
    if (const int d = lower(a[0]) - lower(b[0])) return d;
  }
  return CompareNamesFully(a, b, quote);
}
// Compares a name as Wine's files write it with the name `units`.
int CompareName(std::string_view text, char quote, std::u16string_view units);

// Escapes text the way Wine's registry files do, `quote1` and `quote2`
// escaped too; gives the characters added.
size_t AppendEscaped(std::string& out, std::u16string_view text, char quote1, char quote2);

// Where escaped text stops, read as DecodeEscaped reads it, and whether it is
// exactly what AppendEscaped writes for what it decodes to.
struct EscapedScan {
  enum Stop { kEnd, kSeparator, kBad } stop;  // kBad: no end, or invalid UTF-8
  size_t at;                                  // the position of `end` or of the separator
  bool canonical;
};
// Value names and strings: up to the first unescaped quote.
EscapedScan ScanQuoted(std::string_view s, size_t from);
// Key paths: up to the next "\\" between two names or the first unescaped "]".
EscapedScan ScanKeyName(std::string_view s, size_t from);

// What the data after a value's "=" begins with.
struct DataTag {
  enum Kind { kString, kDword, kHex, kUnknown } kind = kUnknown;
  uint32_t type = 0;
  size_t length = 0;       // of the tag, a string's opening quote included
  bool canonical = false;  // the tag Wine writes for this type (not "str:", "hex(3):", "hex(0A):"...)
};
// The tag "hex(N):" at the start of `data`, if it is one.
DataTag ReadHexTypeTag(std::string_view data);
inline DataTag ReadDataTag(std::string_view d) {
  // Wine's table of type tags; hex(N): for any other type.
  static constexpr struct {
    std::string_view text;
    DataTag::Kind kind;
    uint32_t type;
    bool canonical;
  } kTags[] = {{"\"", DataTag::kString, kRegSz, true},
               {"dword:", DataTag::kDword, kRegDword, true},
               {"hex:", DataTag::kHex, kRegBinary, true},
               {"str:\"", DataTag::kString, kRegSz, false},
               {"str(2):\"", DataTag::kString, kRegExpandSz, true},
               {"str(7):\"", DataTag::kString, kRegMultiSz, true}};
  for (const auto& tag : kTags)
    if (d.starts_with(tag.text)) return {tag.kind, tag.type, tag.text.size(), tag.canonical};
  return d.starts_with("hex(") ? ReadHexTypeTag(d) : DataTag{};
}

// One line of hex data as Wine's loader takes it: blanks and commas around
// bytes of one digit or two, a backslash at the end when the data goes on.
// Appends the bytes to `out`.
enum class HexLine { kLast, kContinued, kBad };
HexLine DecodeHexLine(std::string_view line, std::string& out);

// Follows hex data through its lines while it stays as Wine writes it:
// lower-case digit pairs, commas between them, a line break after the comma
// that passes column 76 and two blanks before the next line.
class CanonicalHex {
 public:
  // `column`: the width of the value's text before the first digit.
  explicit CanonicalHex(size_t column) : column_(column) {}
  // Takes the next line (the first without the tag); false when it is not as
  // Wine writes it. Else `more` tells whether a line of the data follows.
  bool Line(std::string_view line, bool* more);
  // Whether data of `type` with these bytes is written as hex at all
  // (strings ending in a NUL and DWORDs of four bytes are not).
  bool WrittenAsHex(uint32_t type) const;

 private:
  size_t column_;
  size_t bytes_ = 0;
  bool continued_ = false;
  unsigned char last_[2] = {1, 1};
};

// Appends the start of a value's text, `"name"=` or `@=`; gives its width.
size_t AppendValueName(std::string& out, std::u16string_view name);
// Appends value data as Wine writes it after the name; `column` is the width
// of the name's part, which places the line breaks of hex data.
void AppendValueData(std::string& out, uint32_t type, std::string_view data, size_t column);
// Where the data starts in a value's canonical text (after "=").
size_t ValueDataStart(std::string_view text);
// The raw bytes of a value's canonical data text.
std::string DecodeValueData(std::string_view data);

// Appends `v` in lower-case hex without leading zeros.
void AppendHexNoPad(std::string& out, uint32_t v);

}  // namespace frambul::store
