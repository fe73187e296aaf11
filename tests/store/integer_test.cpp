#include "engine/store/integer.h"

#include <gtest/gtest.h>

#include "engine/store/errors.h"

namespace frambul::store {
namespace {

TEST(StrToInt, AcceptsDecimalAndHexadecimalForms) {
  const std::pair<const char*, int32_t> good[] = {
      {"0", 0},           {"400", 400},          {"  \t12", 12},       {"+7", 7},
      {"-15", -15},       {"007", 7},            {"$1F", 31},          {"x1f", 31},
      {"X10", 16},        {"0x10", 16},          {"0XfF", 255},        {"-$10", -16},
      {"2147483647", 2147483647},                {"-2147483648", INT32_MIN},
      {"$FFFFFFFF", -1},  {"0x80000000", INT32_MIN},                   {"$7fffffff", INT32_MAX},
  };
  for (auto [text, value] : good) EXPECT_EQ(StrToInt(text), value) << text;
}

TEST(StrToInt, RejectsEverythingElseWithTheTextInTheMessage) {
  const char* bad[] = {"",    " ",  "+",          "-",          "$",         "0x",       "x",
                       "12 ", "1a", "abc",        "2147483648", "-2147483649", "$100000000", "0x123456789",
                       "1.5", "- 5", "99999999999999999999", "$-1", "٣"};
  for (const char* text : bad) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace frambul::store
