#include "integer.h"

#include "errors.h"

#include <string>

namespace frambul::store {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int32_t StrToInt(std::string_view text) {
  auto fail = [&]() -> int32_t {
    throw EConvertError(Format("'%s' is not a valid integer value", std::string(text)));
  };
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return fail();

  if (hex) {
    if (text.size() - i > 8) return fail();
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
      int d = HexDigit(text[i]);
      if (d < 0) return fail();
      value = value << 4 | static_cast<uint32_t>(d);
    }
    // Negation works on the 32-bit pattern, as the pattern itself may already be negative.
    return static_cast<int32_t>(negative ? 0u - value : value);
  }

  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return fail();
    value = value * 10 + (c - '0');
    if (value > int64_t{1} << 31) return fail();
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return fail();
  return static_cast<int32_t>(value);
}

}  // namespace frambul::store
