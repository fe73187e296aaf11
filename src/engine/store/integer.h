#pragma once
// Text-to-integer conversion used wherever a setting's text becomes a number.

#include <cstdint>
#include <string_view>

namespace frambul::store {

// Blanks before the number are skipped; an optional "+" or "-"; then decimal
// digits, or up to eight hexadecimal digits after "$", "x", "X", "0x" or "0X"
// (eight digits are a 32-bit pattern: "$FFFFFFFF" is -1); nothing may follow.
// Anything else raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

}  // namespace frambul::store
