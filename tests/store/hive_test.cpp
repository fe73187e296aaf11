// The registry file parser and writer against files Wine wrote, and against
// exact expected text for edits.

#include "engine/store/hive.h"

#include <gtest/gtest.h>

#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadGzip;

std::string Bytes(std::u16string_view units, bool nul = true) {
  std::string d;
  for (char16_t u : units) d += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  if (nul) d.append(2, '\0');
  return d;
}

class WineSample : public ::testing::TestWithParam<const char*> {};

// Files Wine wrote come back identical to the byte when nothing changed.
TEST_P(WineSample, RoundTripsByteForByte) {
  std::string text = ReadGzip(std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/" + GetParam());
  auto hive = Hive::Parse(text, GetParam(), FixedClock());
  EXPECT_FALSE(hive->dirty());
  std::string out = hive->Write();
  ASSERT_EQ(out.size(), text.size());
  EXPECT_TRUE(out == text);
}

INSTANTIATE_TEST_SUITE_P(Wine8, WineSample, ::testing::Values("system.reg.gz", "user.reg.gz", "userdef.reg.gz"));

TEST(Hive, ReadsHeaderRootAndValueKinds) {
  std::string text = ReadGzip(std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/system.reg.gz");
  auto hive = Hive::Parse(text, "system.reg", FixedClock());
  EXPECT_EQ(hive->rootPath(), u"REGISTRY\\Machine");
  RegKey* k = hive->root().findSubkey(u"SOFTWARE");
  ASSERT_NE(k, nullptr);
  k = k->findSubkey(u"borland")->findSubkey(u"Database Engine")->findSubkey(u"Settings")->findSubkey(u"SYSTEM")->findSubkey(u"INIT");
  ASSERT_NE(k, nullptr);
  const RegValue* v = k->findValue(u"sharedmemlocation");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, kRegSz);
  EXPECT_EQ(v->data, Bytes(u"9000"));
  EXPECT_EQ(k->modified(), 0x1dd869720be82c4);
}

TEST(Hive, EditsComeOutInWineForm) {
  const std::string text =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to REGISTRY\\\\Machine\n"
      "\n"
      "#arch=win32\n"
      "\n"
      "[A] 946684800\n"
      "#time=1bf53eb256d4000\n"
      "\"b\"=\"1\"\n"
      "\n"
      "[A\\\\Sub] 946684800\n"
      "#time=1bf53eb256d4000\n"
      "\n"
      "[Z] 946684800\n"
      "#time=1bf53eb256d4000\n"
      "@=\"z\"\n";
  auto hive = Hive::Parse(text, "system.reg", 0);
  const int64_t now = FixedClock();
  RegKey* a = hive->root().findSubkey(u"a");
  // Equal data changes nothing, and marks nothing dirty.
  EXPECT_TRUE(hive->SetValue(*a, u"B", kRegSz, Bytes(u"1"), now));
  EXPECT_FALSE(hive->dirty());
  EXPECT_EQ(hive->Write(), text);

  hive->SetValue(*a, u"A", kRegDword, std::string("\x1f\0\0\0", 4), now);
  hive->SetValue(*a, u"", kRegExpandSz, Bytes(u"%WINDIR%\\x"), now);
  hive->SetValue(*a, u"C", kRegSz, Bytes(u"Корзинаa1\t\"q\"\x1b"), now);
  hive->SetValue(*a, u"M", kRegMultiSz, Bytes(std::u16string(u"one\0two\0", 8)), now);
  hive->SetValue(*a, u"Odd", kRegSz, std::string("a\0b", 3), now);
  hive->SetValue(*a, u"N", kRegBinary, std::string(30, '\x01'), now);
  RegKey* g = hive->CreateSubkey(hive->root(), u"GBK", now);
  hive->CreateSubkey(hive->root(), u"GB_2312-80", now);
  hive->SetValue(*g, u"x", kRegDword, "12", now);  // not four bytes: hex(4)
  hive->DeleteKey(*hive->root().findSubkey(u"z"), now);
  EXPECT_TRUE(hive->dirty());

  EXPECT_EQ(hive->Write(),
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to REGISTRY\\\\Machine\n"
            "\n"
            "#arch=win32\n"
            "\n"
            "[A] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "@=str(2):\"%WINDIR%\\\\x\"\n"
            "\"A\"=dword:0000001f\n"
            "\"b\"=\"1\"\n"
            "\"C\"=\"\\x41a\\x43e\\x440\\x437\\x438\\x43d\\x0430a1\\t\\\"q\\\"\\e\"\n"
            "\"M\"=str(7):\"one\\0two\\0\"\n"
            "\"N\"=hex:01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,\\\n"
            "  01,01,01,01,01,01,01\n"
            "\"Odd\"=hex(1):61,00,62\n"
            "\n"
            "[A\\\\Sub] 946684800\n"
            "#time=1bf53eb256d4000\n"
            "\n"
            "[GB_2312-80] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "\n"
            "[GBK] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "\"x\"=hex(4):31,32\n");
}

TEST(Hive, AcceptsWhatWineAcceptsAndWritesItCanonically) {
  // CRLF, raw UTF-8, str:, a key without time, keys out of order, octal and
  // short hex escapes, a value given twice (the last one counts).
  const std::string text =
      "WINE REGISTRY Version 2\r\n"
      ";; All keys relative to REGISTRY\\\\Machine\r\n"
      "\r\n"
      "[b] 946684800\r\n"
      "\"v\"=str:\"Я\\1x\"\r\n"
      "\"v\"=\"Яb\"\r\n"
      "\r\n"
      "[A]\r\n"
      "\"h\"=hex:1,2, 3 ,\\\r\n"
      "   04\r\n"
      "\"\\x44f\"=dword:1f\r\n";
  // Header lines come back with LF alone, however many CRs ended them.
  EXPECT_EQ(Hive::Parse("WINE REGISTRY Version 2\n;;\r\r\n", "system.reg", FixedClock())->Write(),
            "WINE REGISTRY Version 2\n;;\n\n[] 1767225600\n#time=1dc7ab192810000\n");
  auto hive = Hive::Parse(text, "system.reg", FixedClock());
  EXPECT_EQ(hive->Write(),
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to REGISTRY\\\\Machine\n"
            "\n"
            "[A] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "\"h\"=hex:01,02,03,04\n"
            "\"\\x44f\"=dword:0000001f\n"
            "\n"
            "[b] 946684800\n"
            "#time=1bf53eb256d4000\n"
            "\"v\"=\"\\x042fb\"\n");
}

TEST(Hive, KeepsClassesLinksAndTheRootKey) {
  const std::string text =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
      "\n"
      "#arch=win64\n"
      "\n"
      "[] 946684800\n"
      "#time=1bf53eb256d4000\n"
      "\"top\"=\"1\"\n"
      "\n"
      "[K\\\\\\[x\\]] 946684800\n"
      "#time=1bf53eb256d4000\n"
      "#class=\"cls \\\"q\\\"\"\n"
      "#link\n"
      "\"SymbolicLinkValue\"=hex(6):5c,00\n";
  auto hive = Hive::Parse(text, "user.reg", 0);
  EXPECT_EQ(hive->rootPath(), u"REGISTRY\\User\\S-1-5-21-0-0-0-1000");
  EXPECT_TRUE(hive->root().findSubkey(u"k")->findSubkey(u"[X]")->isLink());
  EXPECT_EQ(hive->Write(), text);
}

TEST(Hive, RefusesLinesItDoesNotUnderstand) {
  const std::string head = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
  struct Case {
    std::string body;
    std::string message;
  };
  const Case cases[] = {
      {"[A] 1\nfoo\n", "system.reg:5: Unrecognized input: 'foo'"},
      {"[A] 1\n\"x\"=dword:123456789\n", "system.reg:5: Malformed value"},
      {"[A] 1\n\"x\"=\"open\n", "system.reg:5: Malformed value"},
      {"[A] 1\n\"x\"=hex:00,zz\n", "system.reg:5: Malformed value"},
      {"[A] 1\n\"x\"=hex:00,\\\n", "system.reg:5: Malformed value"},
      {"[A] 1\n\"x\"=\"a\" junk\n", "system.reg:5: Malformed value"},
      {"[A\n", "system.reg:4: Malformed key"},
      {"\"x\"=\"1\"\n", "system.reg:4: Unrecognized input"},
      {"[A] 1\n#colour=red\n", "system.reg:5: Unknown key option"},
  };
  for (const Case& c : cases) {
    try {
      Hive::Parse(head + c.body, "system.reg", 0);
      ADD_FAILURE() << "accepted: " << c.body;
    } catch (const HiveFormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(Hive::Parse("REGEDIT4\n", "system.reg", 0), HiveFormatError);
  // Every bad line is reported, not just the first.
  try {
    Hive::Parse(head + "[A] 1\nfoo\nbar\n", "system.reg", 0);
    ADD_FAILURE();
  } catch (const HiveFormatError& e) {
    EXPECT_NE(std::string(e.what()).find(":6: Unrecognized input: 'bar'"), std::string::npos);
  }
}

TEST(Hive, ExtremeTimesAndDepthsComeBackUnharmed) {
  // A time past 2^63 and keys nested far deeper than any stack: read, written
  // back as they were, and freed without running out of stack.
  const std::string overflow = "WINE REGISTRY Version 2\n\n[A]\n#time=8000000000000000\n";
  std::string once = Hive::Parse(overflow, "system.reg", 0)->Write();
  EXPECT_NE(once.find("\n#time=8000000000000000\n"), std::string::npos);
  EXPECT_EQ(Hive::Parse(once, "system.reg", 0)->Write(), once);

  std::string deep = "WINE REGISTRY Version 2\n\n[a";
  for (int i = 0; i < 1000000; ++i) deep += "\\\\a";
  deep += "] 0\n#time=19db1ded53e8000\n";
  EXPECT_EQ(Hive::Parse(deep, "system.reg", 0)->Write(), deep);
}

TEST(Hive, DeletedKeysStayValidForHandles) {
  auto hive = Hive::Parse("WINE REGISTRY Version 2\n\n[A\\\\B\\\\C] 1\n\"v\"=\"1\"\n", "system.reg", 0);
  RegKey* a = hive->root().findSubkey(u"A");
  RegKey* c = a->findSubkey(u"B")->findSubkey(u"C");
  EXPECT_TRUE(hive->DeleteKey(*a, FixedClock()));
  EXPECT_TRUE(c->deleted());
  EXPECT_EQ(c->findValue(u"v"), nullptr);
  EXPECT_FALSE(hive->SetValue(*c, u"v", kRegSz, "", FixedClock()));
  EXPECT_EQ(hive->CreateSubkey(*c, u"D", FixedClock()), nullptr);
  EXPECT_EQ(hive->root().findSubkey(u"A"), nullptr);
  // The parent of the removed key is now empty: Wine writes it with the time of the removal.
  EXPECT_EQ(hive->Write(), "WINE REGISTRY Version 2\n\n[] 1767225600\n#time=1dc7ab192810000\n");
}

}  // namespace
}  // namespace frambul::store
