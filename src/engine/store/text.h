#pragma once
// Text helpers of the store: UTF-8 <-> UTF-16, Windows-style case-insensitive
// comparison, and conversion between UTF-8 and a Windows ANSI code page.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace frambul::store {

// Lower case of one UTF-16 code unit, as Windows and Wine compare names:
// the simple Unicode lower-case mapping of that unit alone (surrogates map to themselves).
char16_t LowerUnit(char16_t unit);

// Compares two names code unit by code unit after LowerUnit; on a tie of the
// common part the shorter name comes first. Negative, zero or positive.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
bool EqualNoCase(std::string_view utf8a, std::string_view utf8b);

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes become U+FFFD; unpaired surrogates
// become U+FFFD in UTF-8.
std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Converts between UTF-8 and a Windows code page ("1251", "1252", "65001"...).
// Decoding never fails: bytes with no character become U+FFFD. Encoding gives
// nothing when a character has no byte in the code page, so callers can refuse
// to write text that would be damaged.
std::string DecodeCodePage(std::string_view bytes, unsigned codePage);
std::optional<std::string> EncodeCodePage(std::string_view utf8, unsigned codePage);

}  // namespace frambul::store
