// The settings store: its file formats against exact bytes, then, each on a fresh prefix, TRegistry, TIniFile,
// DOS attributes, opening a prefix, paths, the wineserver guard and the write path under failure.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/store/files.h"
#include "engine/store/ini_document.h"
#include "engine/store/inifile.h"
#include "engine/store/integer.h"
#include "engine/store/registry.h"
#include "engine/store/text.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadFile;
using test::TempPrefix;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace fs = std::filesystem;

// What `f` gives, or the message of the error it raises.
std::string Outcome(const std::function<std::string()>& f) {
  try {
    return f();
  } catch (const std::exception& e) {
    return e.what();
  }
}

// The error a flush raises, empty when it wrote all.
std::string FlushError(Machine& machine, FlushMode mode = FlushMode::Changes) {
  return Outcome([&] { machine.Flush(mode); return ""; });
}

// Sets the text value `name` of \Software\Test under `root`, making the key.
void SetTestValue(Machine& machine, RootKey root, const std::string& name, const std::string& value) {
  TRegistry reg(machine);
  reg.SetCurrentRoot(root);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText(name, value);
}

std::string Utf16(std::u16string_view units, bool nul = true) {
  std::string d;
  for (char16_t u : units) d += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return nul ? d + std::string(2, '\0') : d;
}

// `text` with its first `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

std::string SampleFile(const std::string& name) { return ReadFile(std::string(FRAMBUL_SHARED_SAMPLES) + "/" + name); }

// Reads decimal and hexadecimal as Delphi does and names the text it refuses.
TEST(StrToInt, ReadsDecimalAndHexadecimalAndNamesTheTextItRefuses) {
  for (auto [text, value] : {std::pair{" \t12", 12}, {"+7", 7}, {"-15", -15}, {"$1F", 31}, {"x1f", 31}, {"0XfF", 255},
                             {"-$10", -16}, {"$FFFFFFFF", -1}, {"0x80000000", INT32_MIN}, {"-2147483648", INT32_MIN}})
    EXPECT_EQ(StrToInt(text), value) << text;
  for (std::string text : {"", "+", "$", "0x", "12 ", "1a", "- 5", "$-1", "2147483648", "$100000000"})
    EXPECT_EQ(Outcome([&] { return std::to_string(StrToInt(text)); }), "'" + text + "' is not a valid integer value");
}

const std::string kHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
// A key's times when the fixed clock stamps a change, and as the sample machine's keys have them.
const std::string kNow = " 1767225600\n#time=1dc7ab192810000\n", kOld = " 946684800\n#time=1bf53eb256d4000\n";

// Edits come out as Wine writes them (case-blind order, the change's time); escaped Cyrillic names match in any case.
TEST(Hive, EditsComeOutInWineFormAndEscapedNamesAreFoundInAnyCase) {
  auto hive = Hive::Parse(kHead + "[A]" + kOld + "\"b\"=\"1\"\n\n[A\\\\Sub]" + kOld + "\n[\\x41a\\x43e\\\\a\\\\Z] 0\n" +
                              "\"\\x42f\"=\"1\"\n\"\\x44f\\x44f\"=\"2\"\n\"b\"=\"3\"\n",
                          "system.reg", 0);
  RegKey* ko = hive->root().findSubkey(u"кО");
  ASSERT_TRUE(ko && ko->findSubkey(u"A") && ko->findSubkey(u"A")->findSubkey(u"z"));
  EXPECT_EQ(ko->name(), u"Ко");
  EXPECT_EQ(ko->findSubkey(u"кОа"), nullptr);
  for (auto [name, data] : {std::pair{u"я", "1"}, {u"ЯЯ", "2"}, {u"B", "3"}})
    EXPECT_EQ(ToUtf8(StringValueText(ko->findSubkey(u"a")->findSubkey(u"Z")->findValue(name))), data);
  const int64_t now = FixedClock();
  RegKey* a = hive->root().findSubkey(u"a");
  EXPECT_TRUE(hive->SetValue(*a, u"B", kRegSz, Utf16(u"1"), now));  // equal data: nothing changes
  EXPECT_FALSE(hive->dirty());
  hive->SetValue(*a, u"A", kRegDword, std::string("\x1f\0\0\0", 4), now);
  hive->SetValue(*a, u"", kRegExpandSz, Utf16(u"%WINDIR%\\x"), now);
  hive->SetValue(*a, u"C", kRegSz, Utf16(u"Корзинаa1\t\"q\"\x1b"), now);  // four hex digits before a hex digit
  hive->SetValue(*a, u"Odd", kRegSz, std::string("a\0b", 3), now);
  RegKey* g = hive->CreateSubkey(hive->root(), u"GBK", now);
  hive->CreateSubkey(hive->root(), u"GB_2312-80", now);
  hive->SetValue(*g, u"x", kRegDword, "12", now);  // not four bytes
  hive->DeleteKey(*ko, now);
  EXPECT_EQ(hive->Write(), kHead + "[A]" + kNow + "@=str(2):\"%WINDIR%\\\\x\"\n\"A\"=dword:0000001f\n\"b\"=\"1\"\n" +
                               "\"C\"=\"\\x41a\\x43e\\x440\\x437\\x438\\x43d\\x0430a1\\t\\\"q\\\"\\e\"\n" +
                               "\"Odd\"=hex(1):61,00,62\n\n[A\\\\Sub]" + kOld + "\n[GB_2312-80]" + kNow + "\n[GBK]" +
                               kNow + "\"x\"=hex(4):31,32\n");
}

// What Wine's loader accepts is written canonically; a line is kept as it is only when Wine would write it so.
TEST(Hive, ReadsWhatWineAcceptsAndWritesItAsWineWould) {
  const std::string v2 = "WINE REGISTRY Version 2\n\n", k = v2 + "[K] 0\n#time=19db1ded53e8000\n";
  std::string deep = v2 + "[a";
  for (int i = 0; i < 1000000; ++i) deep += "\\\\a";
  deep += "] 0\n#time=19db1ded53e8000\n";
  // Whole files, and what they come out as ("" when the same).
  std::vector<std::pair<std::string, std::string>> cases = {
      // CRLF, str:, octal and short hex escapes, a wrapped hex line, a value given twice, keys out of order,
      // given again with more values and without time (an implied parent takes the time of its first subkey),
      // values on the root, a class.
      {"WINE REGISTRY Version 2\r\n\r\n[b] 946684800\r\n\"v\"=str:\"\\1\"\r\n\"v\"=\"Яb\"\r\n[] 0\r\n"
       "\"\\x44f\"=hex:1,2 ,\\\r\n  3\r\n[a]\r\n#class=\"c \\\"q\\\"\"\r\n[b] 946684800\r\n\"u\"=\"2\"\r\n",
       v2 + "[]" + kOld + "\"\\x44f\"=hex:01,02,03\n\n[a]" + kNow + "#class=\"c \\\"q\\\"\"\n\n[b]" + kOld +
           "\"u\"=\"2\"\n\"v\"=\"\\x042fb\"\n"},
      // Found by fuzzing: header lines ended by several CRs, a time past 2^63, keys nested deeper than any stack.
      {"WINE REGISTRY Version 2\n;;\r\r\n", "WINE REGISTRY Version 2\n;;\n\n[]" + kNow},
      {v2 + "[A]\n#time=8000000000000000\n", v2 + "[A] 159663333\n#time=8000000000000000\n"},
      // The last time a key line can give; upper-case digits.
      {v2 + "[A] 4294967295\n\"v\"=\"\"\n[B] 12\n#time=1DC7AB192810000\n",
       v2 + "[A] 4294967295\n#time=236485ed4a5e980\n\"v\"=\"\"\n\n[B]" + kNow},
      {deep, ""}};
  // Value lines of a key. Escapes: octal with the fewest digits but before an octal digit, \x only above 127 and
  // with the fewest lower-case digits but before a hex digit, a C escape where there is one, nothing else escaped.
  // Hex: lower-case pairs, commas, Wine's line breaks; a string ending in a NUL, a DWORD of four bytes and binary
  // data have their own forms.
  const std::string wrapped = "hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n  17,18";
  const std::string n80 = "\"" + std::string(80, 'n') + "\"=hex:";
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {R"("a"="C:\\x.dll \"q\" \18 \0015 \e \xe9 \x00e9a \x042fa1")", ""},
           {R"("a"="\001x")", R"("a"="\1x")"}, {R"("a"="\33")", R"("a"="\e")"}, {R"("a"="\x042f")", R"("a"="\x42f")"},
           {R"("a"="\xE9")", R"("a"="\xe9")"}, {R"("a"="\x41")", R"("a"="A")"}, {R"("a"="\x")", R"("a"="x")"},
           {R"("a"="\q")", R"("a"="q")"},
           {"\"a\"=\"\xD0\xAF\"", R"("a"="\x42f")"}, {"\"a\"=\"tab\there\"", R"("a"="tab\there")"},
           {R"(""="x")", R"(@="x")"}, {R"("a" = str:"b"  )", R"("a"="b")"},
           {R"("\x41"=dword:0000001F)", R"("A"=dword:0000001f)"}, {R"("a"=dword:1f)", R"("a"=dword:0000001f)"},
           {R"("a"=hex: 1, 2 ,FF)", R"("a"=hex:01,02,ff)"}, {R"("a"=hex(1):61,00,00,00)", R"("a"="a")"},
           {R"("a"=hex(2):61,00,00,00)", R"("a"=str(2):"a")"}, {R"("a"=hex(4):01,00,00,00)", R"("a"=dword:00000001)"},
           {R"("a"=hex(3):01)", R"("a"=hex:01)"}, {R"("a"=hex(01):61,00)", R"("a"=hex(1):61,00)"},
           {R"("a"=hex(A):)", R"("a"=hex(a):)"}, {R"("a"=hex(4):01,02)", ""}, {"\"a\"=" + wrapped, ""},
           {"\"a\"=" + Replaced(wrapped, "\\\n  17,", "17,\\\n  "), "\"a\"=" + wrapped},
           {n80 + "00,01,\\\n  02", n80 + "00,\\\n  01,02"}})
    cases.emplace_back(k + in + "\n", k + (out.empty() ? in : out) + "\n");
  // Names in a key's path: "\\" parts them, also a backslash that only decoding gives.
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {R"([A\\\\B\\])", R"([A\\B])"}, {R"([A\x5c\x5c])", "[A]"}, {R"([\x41\\\x41b])", R"([A\\\x41b])"},
           {"[a[b]", R"([a\[b])"}, {R"([a\"b])", R"([a"b])"}, {"[\xD0\xAF]", R"([\x42f])"}, {R"([c\]d])", ""}})
    cases.emplace_back(v2 + in + " 0\n#class=\"\\x41\"\n",
                       v2 + (out.empty() ? in : out) + " 0\n#time=19db1ded53e8000\n#class=\"A\"\n");
  for (const auto& [in, out] : cases) {
    const std::string written = Hive::Parse(in, "system.reg", FixedClock())->Write();
    EXPECT_TRUE(written == (out.empty() ? in : out)) << in.substr(0, 100) << "\nwritten:\n" << written.substr(0, 400);
  }
}

// Random value and subkey changes match a case-blind sorted model, in the tree and after writing and reading back.
TEST(Hive, ChangesKeepEveryOtherValueAndKey) {
  auto hive = Hive::Parse(SampleFile("win98/user.reg"), "user.reg", 0);
  RegKey* key = hive->CreateSubkey(hive->root(), u"Changes", FixedClock());
  auto less = [](const std::u16string& a, const std::u16string& b) { return CompareNoCase(a, b) < 0; };
  std::map<std::u16string, std::string, decltype(less)> model(less);
  std::set<std::u16string, decltype(less)> subkeys(less);
  std::mt19937 random(1);
  for (int step = 0; step < 3000; ++step) {
    std::u16string name = u"v" + std::u16string(1, static_cast<char16_t>(u'a' + random() % 40));
    if (random() % 2) name[0] = u'Я';
    const std::string data = std::string(random() % 300, static_cast<char>(random()));
    const unsigned action = random() % 4;
    if (action < 2) {
      hive->SetValue(*key, name, kRegBinary, data, FixedClock());
      model.insert_or_assign(name, data);
    } else if (action == 2) {
      EXPECT_EQ(hive->DeleteValue(*key, name, FixedClock()), model.erase(name) == 1);
    } else if (RegKey* sub = key->findSubkey(name)) {
      hive->DeleteKey(*sub, FixedClock());
      subkeys.erase(name);
    } else {
      hive->SetValue(*hive->CreateSubkey(*key, name, FixedClock()), u"", kRegSz, data, FixedClock());
      subkeys.insert(name);
    }
  }
  using Listing = std::pair<std::vector<std::pair<std::u16string, std::string>>, std::vector<std::u16string>>;
  auto listing = [](const RegKey& k) {
    Listing l;
    for (const RegValue& v : k.values()) l.first.emplace_back(v.name(), v.data());
    for (const RegKey* s : k.subkeys()) l.second.push_back(s->name());
    return l;
  };
  const Listing expected{{model.begin(), model.end()}, {subkeys.begin(), subkeys.end()}};
  EXPECT_TRUE(listing(*key) == expected);
  EXPECT_TRUE(listing(*Hive::Parse(hive->Write(), "user.reg", 0)->root().findSubkey(u"changes")) == expected);
}

// Read in pieces of any size, a file gives what it gives whole: the same text written, or the same problems.
TEST(HiveReader, PiecesOfAnySizeReadAsTheWhole) {
  const std::string good = SampleFile("win98/system.reg");
  const std::string bad = kHead + "[A] 0\r\n\"x\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n\"y\"=dword:1\r\n[B\n\"c\"=hex:00,\\\n";
  for (const std::string& text : {good, bad, good.substr(0, good.size() - 7)}) {
    const std::string whole = Outcome([&] { return Hive::Parse(text, "system.reg", 0)->Write(); });
    for (size_t size : {1, 2, 3, 7, 64, 4096}) {
      HiveReader reader("system.reg", 0);
      for (size_t at = 0; at < text.size(); at += size) reader.Feed(std::string_view(text).substr(at, size));
      EXPECT_EQ(Outcome([&] { return reader.Finish()->Write(); }), whole) << size;
    }
  }
  EXPECT_EQ(Outcome([&] { return Hive::Parse(bad, "f", 0)->Write(); }),
            "f:7: Malformed value: '  zz'\nf:9: Malformed key: '[B'\nf:10: Value without key: '\"c\"=hex:00,\\'");
}

// Set rewrites only its line, in the file's encoding, a new key last in its section; it refuses what cannot fit.
TEST(IniDocument, SetRewritesOnlyItsLineOrRefusesWhatTheFileCannotHold) {
  const std::string ini = "[One]\r\n  Alpha =  1 \r\nbeta=2\n\r\n; c\r\n[one]\r\ng=3\r\n";
  const std::string u16 = "\xFF\xFE" + Utf16(u"[Раз]\r\n", false);
  using Case = std::tuple<std::string, const char*, const char*, const char*, std::string>;
  for (const auto& [file, section, key, value, expected] :
       {Case{ini, "one", "ALPHA", "9", Replaced(ini, "  Alpha =  1 ", "Alpha=9")},
        Case{ini, "One", "beta", "", Replaced(ini, "beta=2", "beta=")},
        Case{ini, "one", "G", "x", Replaced(ini, "g=3", "g=x")},
        Case{ini, "ONE", "d", "4", Replaced(ini, "beta=2\n", "beta=2\nd=4\r\n")},
        Case{"[a]\nx=1\n\x80\n", "b", "k", "v", "[a]\nx=1\n\x80\n\n[b]\nk=v\n"},
        Case{"[a]\r\nx=1", "a", "y", "2", "[a]\r\nx=1\r\ny=2"},  // a missing final newline stays missing
        Case{"[a]\r\nx=1", "c", "z", "3", "[a]\r\nx=1\r\n\r\n[c]\r\nz=3"},
        // Blanks around the names given are not part of them (found by fuzzing).
        Case{"[a]\r\nk=1\r\n", " a ", " k\t", "Ж", "[a]\r\nk=\xC6\r\n"},
        Case{u16, "раз", "Ключ", "中", u16 + Utf16(u"Ключ=中\r\n", false)},
        // A stray byte at the end of a UTF-16 file stays last, or all after it reads one byte off (fuzzing).
        Case{"\xFF\xFE" + Utf16(u"[a]\r\nk=1", false) + "x", "a", "j", "2",
             "\xFF\xFE" + Utf16(u"[a]\r\nk=1\r\nj=2", false) + "x"}}) {
    auto doc = IniDocument::Parse(file, 1251);
    ASSERT_TRUE(doc.Set(section, key, value)) << section << "/" << key;
    EXPECT_EQ(doc.Serialize(), expected);
    EXPECT_EQ(doc.Get(section, key), value);
  }
  auto doc = IniDocument::Parse("[a]\r\nk=1\r\n", 1251), latin = IniDocument::Parse("[a]\r\nk=1\r\n", 1252);
  for (auto [section, key, value] : {std::tuple{"a", "k", "中文"}, {"a", "new", "中"}, {"a", "k", "1\n2"},
                                     {"a", "k", "1\r2"}, {"a", "x\ny", "1"}, {"a\r\n[b", "x", "1"}, {"a", ";x", "1"},
                                     {"a", "[x", "1"}, {"a", " ", "1"}})
    EXPECT_FALSE(doc.Set(section, key, value)) << key << "=" << value;
  EXPECT_FALSE(latin.Set("a", "k", "Ж"));
  EXPECT_EQ(doc.Serialize() + latin.Serialize(), "[a]\r\nk=1\r\n[a]\r\nk=1\r\n");
}

// Get and Remove drop blanks and enclosing quotes, match in any case; comments and lines without "=" are no keys.
TEST(IniDocument, GetAndRemoveFindKeysAsWindowsDoes) {
  auto doc = IniDocument::Parse("[\xD0\xC0\xC7]\r\n\xEA = \"\xE7 \" \r\nq='x'\r\nm=\"x'\r\n;n=1\r\nn\r\nend=1", 1251);
  for (auto [key, value] : {std::pair{"К", "з "}, {"Q", "x"}, {"m", "\"x'"}, {";n", "-"}, {"n", "-"}})
    EXPECT_EQ(doc.Get("раз", key).value_or("-"), value) << key;
  ASSERT_TRUE(doc.Remove(" Раз ", "M"));
  ASSERT_TRUE(doc.Remove("раз", "end"));  // the last line had no line end: neither has the new last line
  EXPECT_EQ(doc.Serialize(), "[\xD0\xC0\xC7]\r\n\xEA = \"\xE7 \" \r\nq='x'\r\n;n=1\r\nn");
}

// Why the prefix does not open ("Kind: message"), or "opens" with its Windows directory and code page.
std::string OpenError(const std::string& prefix) {
  try {
    Machine m(prefix);
    return "opens " + m.WindowsDirectory() + " " + std::to_string(m.AnsiCodePage());
  } catch (const EMachineError& e) {
    const char* kinds[] = {"NotAPrefix", "WineRunning", "AlreadyOpen", "Unreadable"};
    return kinds[static_cast<int>(e.kind())] + std::string(": ") + e.what();
  }
}

struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

std::string DosAttrib(const std::string& path) {
  char buf[64];
  ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", buf, sizeof buf);
  return n < 0 ? "none" : std::string(buf, static_cast<size_t>(n));
}

// How many entries a folder holds: a temporary file left behind would be one more.
long Entries(const std::string& dir) { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }

// A fresh prefix, a machine open on it and a registry on the user's root.
class OnPrefix : public ::testing::Test {
 protected:
  explicit OnPrefix(std::string_view system = TempPrefix::DefaultSystemReg())
      : prefix(system), machine(prefix.path(), MachineOptions{nullptr, FixedClock}), reg(machine) {}
  std::string C(std::string_view relative) const { return prefix.file("drive_c/" + std::string(relative)); }

  TempPrefix prefix;
  Machine machine;
  TRegistry reg;
};

// K holds a value of each kind; L is a link to it.
class RegistryTest : public OnPrefix {
 protected:
  RegistryTest()
      : OnPrefix(kHead + "[K] 0\n\"Bin\"=hex:01,02\n\"Dword\"=dword:00000001\n\"Empty\"=hex:\n"
                         "\"Expand\"=str(2):\"%W%\"\n\"Multi\"=str(7):\"a\\0b\\0\"\n\"Nul\"=\"ab\\0cd\"\n"
                         "\"Short\"=hex(4):01,02\n\"Str\"=\"txt\"\n\"Tiny\"=\"a\"\n\"Wide\"=hex(4):01,02,03,04,05\n\n"
                         "[L] 0\n#link\n\"SymbolicLinkValue\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,"
                         "79,00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,4b,00\n\n"
                         "[Tree\\\\L1\\\\L2] 946684800\n\"deep\"=\"1\"\n\n[Tree\\\\Other] 946684800\n") {}
};

// Paths in any case and through links; each read of each type, its data or error; removals and a dead handle.
TEST_F(RegistryTest, PathsReadsWritesAndRemovals) {
  ASSERT_TRUE(reg.OpenPath("\\Control Panel\\Desktop", false));
  EXPECT_EQ(reg.ReadText("menushowdelay"), "400");
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\l", false));        // a link to K
  EXPECT_FALSE(reg.OpenPath("\\Missing", false));  // leaves the open key open
  const std::string invalid = "Invalid data type", failed = "Failed to get data";
  unsigned char buf[16] = {};
  for (const auto& [name, text, dword, bytes] :  // ReadText, ReadDword, ReadBytes into 16 bytes
       {std::tuple<const char*, std::string, std::string, std::string>{"Str", "txt", failed, invalid},
        {"Expand", "%W%", failed, invalid}, {"Nul", "ab", failed, invalid}, {"Tiny", "a", invalid, invalid},
        {"Dword", invalid, "1", invalid}, {"Short", invalid, "513", invalid}, {"Wide", invalid, failed, invalid},
        {"Multi", invalid, failed, "10"}, {"Bin", invalid, invalid, "2"}, {"Empty", "", invalid, "0"},
        {"Missing", "", failed, "0"}}) {
    auto want = [&](const std::string& c) { return c == invalid || c == failed ? c + " for '" + name + "'" : c; };
    EXPECT_EQ(Outcome([&] { return reg.ReadText(name); }), want(text));
    EXPECT_EQ(Outcome([&] { return std::to_string(reg.ReadDword(name)); }), want(dword));
    EXPECT_EQ(Outcome([&] { return std::to_string(reg.ReadBytes(name, buf, 16)); }), want(bytes));
  }
  EXPECT_EQ(buf[1], 0x02);
  EXPECT_EQ(Outcome([&] { return std::to_string(reg.ReadBytes("Multi", buf, 9)); }), "Invalid data type for 'Multi'");
  EXPECT_TRUE(reg.RemoveValue("STR"));
  ASSERT_TRUE(reg.OpenPath("New", true));
  reg.WriteText("Name", "Корзина");
  reg.WriteNumber("Num", -1);
  reg.WriteBytes("Bin", "\0", 2);
  EXPECT_TRUE(reg.RemoveKey("\\L"));  // the link, not its target
  ASSERT_TRUE(reg.OpenPath("\\Tree\\L1\\L2", false));
  EXPECT_TRUE(reg.RemoveKey("\\Tree\\L1"));
  EXPECT_EQ(reg.ReadText("deep"), "");
  EXPECT_EQ(Outcome([&] { reg.WriteText("deep", "2"); return ""; }), "Failed to set data for 'deep'");
  machine.Flush();
  EXPECT_THAT(ReadFile(prefix.file("system.reg")),
              AllOf(HasSubstr("\n[K\\\\New]" + kNow + "\"Bin\"=hex:00,00\n\"Name\"=\"\\x41a\\x43e\\x440\\x437\\x438" +
                              "\\x43d\\x430\"\n\"Num\"=dword:ffffffff\n"),
                    HasSubstr("\n[Tree\\\\Other]" + kOld),  // untouched, time and all
                    ::testing::Not(::testing::AnyOf(HasSubstr("\"Str\""), HasSubstr("L1"), HasSubstr("[L]")))));
}

using IniFileTest = OnPrefix;

// Bare names, 2047-character reads, code-page and CR LF writes seen at once and on disk after the flush; refusals.
TEST_F(IniFileTest, ReadsWritesAndRefusals) {
  const std::string head = "[windows]\r\nload=\r\nlong=" + std::string(3000, '\xE6') + "\r\n";
  test::WriteFile(C("WINDOWS/WIN.INI"), head + "\r\n[P]");
  TIniFile ini(machine, "Win.Ini");
  std::string zh;
  for (int i = 0; i < 2047; ++i) zh += "ж";
  EXPECT_EQ(ini.ReadText("windows", "long", ""), zh);
  EXPECT_EQ(ini.ReadText("Windows", "LOAD", "d") + ini.ReadText("windows", "missing", "d"), "d");
  for (auto [name, key, value] : {std::tuple{"C:\\WINDOWS\\WIN.INI", "load", "中文"},
                                  {"Win.ini", "load", "a\r\n[evil]"}, {"C:\\WINDOWS", "k", "v"}})
    EXPECT_EQ(Outcome([&] { TIniFile(machine, name).WriteText("windows", key, value); return ""; }),
              std::string("Unable to write to ") + name);
  ini.WriteNumber("windows", "Chunk", -512);
  ini.WriteText("Разное", "Ключ", "Я");
  TIniFile(machine, "C:\\NEW.INI").WriteText("s", "k", "Я");
  EXPECT_EQ(TIniFile(machine, "c:\\windows\\win.ini").ReadText("разное", "КЛЮЧ", ""), "Я");
  EXPECT_EQ(ReadFile(C("WINDOWS/WIN.INI")), head + "\r\n[P]");
  machine.Flush();
  EXPECT_EQ(ReadFile(C("WINDOWS/WIN.INI")),
            head + "Chunk=-512\r\n\r\n[P]\r\n\r\n[\xD0\xE0\xE7\xED\xEE\xE5]\r\n\xCA\xEB\xFE\xF7=\xDF");
  EXPECT_EQ(Entries(C("WINDOWS")), 1);
  EXPECT_EQ(ReadFile(C("NEW.INI")), "[s]\r\nk=\xDF\r\n");
  // Read again after the flush: a change made meanwhile by someone else is seen.
  test::WriteFile(C("NEW.INI"), "[s]\r\nk=2\r\n");
  EXPECT_EQ(TIniFile(machine, "C:\\NEW.INI").ReadText("s", "k", ""), "2");
  // A folder that does not exist fails when the flush comes to it.
  TIniFile(machine, "C:\\NO SUCH FOLDER\\A.INI").WriteText("s", "k", "v");
  EXPECT_EQ(FlushError(machine), "Unable to write to C:\\NO SUCH FOLDER\\A.INI");
}

// A Wine prefix maps win.ini sections to the user's registry (as Wine 8 does); SYS: means the machine's Software.
TEST(IniFileMapping, MappedSectionsGoToTheRegistry) {
  const std::string map = "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\IniFileMapping\\\\";
  TempPrefix prefix(std::string(TempPrefix::DefaultSystemReg()) + map + "system.ini] 0\n\"boot\"=\"SYS:Fr\\\\Boot\"\n" +
                    map + "win.ini] 0\n\"desktop\"=\"USR:Control Panel\\\\Desktop\"\n" + map +
                    "win.ini\\\\windows] 0\n@=\"USR:Software\\\\Win\"\n"
                    "\"CursorBlinkRate\"=\"USR:Control Panel\\\\Desktop\"\n");
  test::WriteFile(prefix.file("drive_c/WINDOWS/WIN.INI"), "[mail]\r\nmapi=1\r\n");
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TIniFile win(machine, "Win.Ini");
  win.WriteText("windows", "load", "x");
  win.WriteText("windows", "CursorBlinkRate", "600");   // a key mapped on its own
  win.WriteText("desktop", "Wallpaper", "Облака.bmp");  // a section mapped by a value of the file's key
  win.WriteText("mail", "mapi", "0");                   // not mapped: the file
  TIniFile(machine, "System.Ini").WriteText("Boot", "Shell", "progman.exe");
  EXPECT_EQ(win.ReadText("WINDOWS", "LOAD", "") + win.ReadText("Desktop", "wallpaper", ""), "xОблака.bmp");
  machine.Flush();
  EXPECT_EQ(ReadFile(prefix.file("drive_c/WINDOWS/WIN.INI")), "[mail]\r\nmapi=0\r\n");
  EXPECT_THAT(ReadFile(prefix.file("user.reg")),
              AllOf(HasSubstr("[Control Panel\\\\desktop]" + kNow + "\"CursorBlinkRate\"=\"600\"\n\"MenuShowDelay\"=" +
                              "\"400\"\n\"Wallpaper\"=\"\\x41e\\x431\\x43b\\x430\\x43a\\x430.bmp\"\n"),
                    HasSubstr("[Software\\\\Win]" + kNow + "\"load\"=\"x\"\n")));
  EXPECT_THAT(ReadFile(prefix.file("system.reg")),
              HasSubstr("[Software\\\\Fr\\\\Boot]" + kNow + "\"Shell\"=\"progman.exe\"\n"));
}

// Runs `body` in a forked child and gives its exit status (-1 when it did not exit, 99 when it threw).
int InChild(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    const std::string code = Outcome([&] { return std::to_string(body()); });
    ::_exit(code.find_first_not_of("0123456789") == std::string::npos ? std::stoi(code) : 99);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// DOSATTRIB as Wine keeps it (trailing NUL, a dot hides) and listed; each call replaces all bits; as the owner.
TEST(Files, AttributesAreStoredAndListedAsWineKeepsThem) {
  TempPrefix prefix;
  for (auto [name, dosattrib] : {std::pair{"nul", std::string("0x6\0", 4)}, {"upper", "0X6"}, {"bare", "6"},
                                 {"samba", "0x22"}, {".profile", "0x0"}, {"FILE.TXT", "0x0"}}) {
    const std::string file = prefix.file("drive_c/") + name;
    test::WriteFile(file, "x");
    ASSERT_EQ(::setxattr(file.c_str(), "user.DOSATTRIB", dosattrib.data(), dosattrib.size(), 0), 0);
  }
  const uid_t nobody = 65534;
  ASSERT_TRUE(::geteuid() != 0 || std::system(("chown -hR 65534:65534 '" + prefix.path() + "'").c_str()) == 0);
  const int status = InChild([&] {
    // Relative paths: the child may not be allowed to walk down from "/".
    if (::chdir(prefix.path().c_str()) != 0) return 90;
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
      return 91;
    Machine machine(".");
    auto list = [&](std::string_view pattern, int mask) {
      std::string found;
      TSearchRec rec;
      for (int rc = SearchFirst(machine, pattern, mask, rec); rc == 0; rc = SearchNext(rec))
        found += rec.Name + " " + std::to_string(rec.Attr) + " ";
      return found;
    };
    EXPECT_EQ(list("c:\\*.*", 47), ".profile 34 FILE.TXT 32 bare 32 nul 38 samba 34 upper 32 ");
    EXPECT_EQ(list("C:\\*", faDirectory), ". 16 .. 16 FILE.TXT 32 WINDOWS 16 bare 32 upper 32 ");
    for (auto [set, mode, dosattrib, attributes] :
         {std::tuple{36, 0644u, "0x4", 36},  // system + archive: the boot file, writable
          {7, 0444u, "0x6", 39},             // read-only: every write bit goes
          {34, 0644u, "0x2", 34}, {1, 0444u, "none", 33}, {16 | 32, 0644u, "none", 32}}) {
      EXPECT_EQ(SetAttributes(machine, "C:\\file.txt", set), 0) << set;
      EXPECT_EQ(Stat("drive_c/FILE.TXT").st_mode & 07777, mode) << set;
      EXPECT_EQ(DosAttrib("drive_c/FILE.TXT"), dosattrib) << set;
      EXPECT_EQ(list("C:\\*.tXT", set & 7), "FILE.TXT " + std::to_string(attributes) + " ") << set;
    }
    EXPECT_EQ(SetAttributes(machine, "C:\\MISSING.TXT", 7), 2);
    EXPECT_EQ(GetAttributes(machine, "C:\\MISSING.TXT"), -1);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(status, 0) << "90: no way into the prefix, 91: cannot become its owner, 99: an error";
}

// Not a prefix: refused by name, nothing made. One copy of the program per prefix, however it is spelled.
TEST(MachineOpen, RefusesWhatIsNoPrefixOrIsOpenAlready) {
  TempPrefix prefix;
  test::WriteFile(prefix.file("drive_c/user.reg"), TempPrefix::DefaultUserReg());
  for (const char* name : {"drive_c", "missing/deeper", "system.reg"})
    EXPECT_THAT(OpenError(prefix.file(name)), AllOf(StartsWith("NotAPrefix"), HasSubstr(prefix.file(name))));
  EXPECT_FALSE(fs::exists(prefix.file("missing")));
  fs::create_directory_symlink(prefix.path(), prefix.file("link"));
  {
    Machine first(prefix.path() + "/");
    for (const std::string& spelling : {prefix.path(), prefix.file("link")})
      EXPECT_THAT(OpenError(spelling), AllOf(StartsWith("AlreadyOpen"), HasSubstr(spelling)));
  }
  EXPECT_THAT(OpenError(prefix.path()), StartsWith("opens"));
}

// Unknown, malformed or cut-short lines refuse the hive, each named; NT's SystemRoot wins when it has a drive.
TEST(MachineOpen, ReadsItsHivesOrRefusesLinesItDoesNotUnderstand) {
  for (auto [file, added, expected] :
       {std::tuple{"system.reg", "foo\n\"a\"=dword:123456789\n\"b\"=\"open\n\"c\"=\"a\" x\n#x=1\n\"d\"=hex:0,\\\n",
                   std::vector<std::string>{"Unreadable", ":14: Unrecognized input: 'foo'", ":15: Malformed value",
                                            ":16: Malformed", ":17: Malformed", ":18: Unknown key", ":19: Malformed"}},
        {"user.reg", "[B\n", {"Unreadable", ":10: Malformed key: '[B'"}},
        {"system.reg", "[C] 4294967296\n[D] 1\n#time=1dc7ab19281000g\n",
         {"Unreadable", ":14: Malformed key time: '[C] 4294967296'", ":16: Malformed time: '#time=1dc7ab19281000g'"}},
        {"system.reg", "[Cut] 1767225600\n#time=1dc7ab1",
         {"Unreadable", "обрезан", ":15: Cut short: the last line has no line end: '#time=1dc7ab1'"}},
        {"system.reg", "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion]\n\"SystemRoot\"=\"WINDOWS\"\n",
         {"opens C:\\WINDOWS 1251"}},
        {"system.reg", "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion]\n\"SystemRoot\"=\"D:\\\\Win\"\n",
         {"opens D:\\Win 1251"}}}) {
    TempPrefix prefix;
    const std::string good = ReadFile(prefix.file(file)), changed = good + "\n" + added;
    test::WriteFile(prefix.file(file), changed);
    const std::string result = OpenError(prefix.path());
    for (const std::string& part : expected)
      EXPECT_THAT(result, HasSubstr(part[0] == ':' ? prefix.file(file) + part : part));
    EXPECT_EQ(ReadFile(prefix.file(file)), changed);
    test::WriteFile(prefix.file(file), good);
    EXPECT_THAT(OpenError(prefix.path()), StartsWith("opens"));
  }
}

// Cut at every byte, the sample system.reg opens only where the cut falls at a line end, as Wine ends every line.
TEST(MachineOpen, AHiveCutShortInMidLineIsRefused) {
  const std::string text = ReadFile(std::string(FRAMBUL_SHARED_SAMPLES) + "/win98/system.reg");
  size_t refused = 0;
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    const std::string_view part = std::string_view(text).substr(0, cut);
    try {
      Hive::Parse(part, "system.reg", 0);
      EXPECT_TRUE(part.ends_with('\n')) << "accepted a cut in mid-line at byte " << cut;
    } catch (const HiveFormatError& e) {
      ++refused;
      EXPECT_TRUE(e.cutShort() || part.ends_with('\n')) << cut;
    }
  }
  const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  EXPECT_GE(refused, text.size() + 1 - lines);  // every cut that is not at a line end, and the empty file
  EXPECT_GT(refused * 10, text.size() * 9) << refused << " of " << text.size() + 1 << " cuts refused";
}

// A crash's leftovers, .NAME.new-XXXXXX beside our files in any case, go at open; nothing else, nothing outside.
TEST(MachineOpen, RemovesTheTemporaryFilesACrashLeft) {
  TempPrefix prefix, outside;
  test::WriteFile(prefix.file("drive_c/MSDOS.SYS"), "");
  test::WriteFile(prefix.file("drive_c/WINDOWS/WIN.INI"), "");
  ASSERT_EQ(::symlink(outside.file("SYSTEM.INI").c_str(), prefix.file("drive_c/WINDOWS/SYSTEM.INI").c_str()), 0);
  const std::vector<std::string> gone = {"/.system.reg.new-AbC123", "/.user.reg.new-000000",
                                         "/drive_c/.MSDOS.SYS.new-zzzZZZ", "/drive_c/.MSDOS.Sys.new-Q1w2E3",
                                         "/drive_c/WINDOWS/.win.ini.new-a1B2c3"};
  const std::vector<std::string> kept = {"/.system.reg.new-AbC12", "/.system.reg.new-AbC12-", "/system.reg.new-AbC123",
                                         "/.system.reg.old-AbC123", "/.userdef.reg.new-AbC123",
                                         "/drive_c/WINDOWS/.SYSTEM.INI.new-AbC123"};
  for (const auto* names : {&gone, &kept})
    for (const std::string& name : *names) test::WriteFile(prefix.path() + name, "x");
  test::WriteFile(outside.file(".SYSTEM.INI.new-AbC123"), "x");
  fs::create_directory(prefix.file(".user.reg.new-DIRDIR"));
  fs::create_symlink(outside.file(".SYSTEM.INI.new-AbC123"), prefix.file(".system.reg.new-LINK00"));
  EXPECT_THAT(OpenError(prefix.path()), StartsWith("opens"));
  for (const std::string& name : gone) EXPECT_FALSE(fs::exists(prefix.path() + name)) << name;
  // The folder and the link stay too, and the file the link names.
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(prefix.path() + name)) << name;
  for (const char* name : {"/.user.reg.new-DIRDIR", "/.system.reg.new-LINK00"})
    EXPECT_TRUE(fs::exists(fs::symlink_status(prefix.path() + name))) << name;
  EXPECT_TRUE(fs::exists(outside.file(".SYSTEM.INI.new-AbC123")));
}

// Changes follow links only inside the prefix or a drive's own root; else nothing changes, the error names the link.
TEST(Links, AChangeFollowsALinkOnlyWhileItStaysInThePrefix) {
  TempPrefix prefix, outside;
  const std::string boot = outside.file("msdos.sys"), viaZ = outside.file("z.ini");
  test::WriteFile(boot, "[Options]\r\nBootGUI=1\r\n");
  ASSERT_EQ(::symlink(boot.c_str(), prefix.file("drive_c/MSDOS.SYS").c_str()), 0);
  fs::create_directory_symlink(outside.path(), prefix.file("drive_c/Out"));
  fs::create_directory_symlink("/", prefix.file("dosdevices/z:"));
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  const std::string z = machine.WindowsPath(viaZ);
  ASSERT_THAT(z, StartsWith("Z:\\"));
  TIniFile(machine, z).WriteText("s", "k", "1");
  machine.Flush();
  EXPECT_EQ(ReadFile(viaZ), "[s]\r\nk=1\r\n");
  EXPECT_EQ(SetAttributes(machine, z, 6), 0);
  for (const char* linked : {"C:\\MSDOS.SYS", "C:\\Out\\msdos.sys"}) EXPECT_EQ(SetAttributes(machine, linked, 36), 5);
  EXPECT_EQ(DosAttrib(boot) + std::to_string(Stat(boot).st_mode & 0777), "none" + std::to_string(0644));
  TIniFile bootFile(machine, "C:\\MSDOS.SYS");
  EXPECT_EQ(bootFile.ReadText("Options", "BootGUI", ""), "1");
  bootFile.WriteText("Options", "BootGUI", "0");
  EXPECT_EQ(FlushError(machine), "Unable to write to C:\\MSDOS.SYS");
  EXPECT_EQ(ReadFile(boot), "[Options]\r\nBootGUI=1\r\n");
  EXPECT_TRUE(fs::is_symlink(prefix.file("drive_c/MSDOS.SYS")));

  TempPrefix linkedHive;
  const std::string hive = outside.file("linked.reg"), link = linkedHive.file("system.reg");
  fs::rename(link, hive);
  fs::create_symlink(hive, link);
  const std::string before = ReadFile(hive);
  Machine second(linkedHive.path(), MachineOptions{nullptr, FixedClock});
  SetTestValue(second, RootKey::LocalMachine, "v", "1");
  EXPECT_EQ(FlushError(second),
            "Не удалось записать файл реестра «" + link + "»: это ссылка за пределы префикса, на «" + hive + "».");
  EXPECT_EQ(ReadFile(hive), before);
}

using PathTest = OnPrefix;

// Host paths match each part in any case or keep its spelling; Windows paths take the nearest drive root, else Z:.
TEST_F(PathTest, HostPathAndWindowsPathMapEachOther) {
  fs::create_directories(C("WINDOWS/Главное меню/SYSTEM"));
  test::WriteFile(C("WINDOWS/WIN.INI"), "");
  for (auto [windows, host] :
       {std::pair{"C:\\windows\\win.ini", "c:/WINDOWS/WIN.INI"}, {"Win.Ini", "c:/WINDOWS/WIN.INI"},
        {"c:/Windows/WIN.ini", "c:/WINDOWS/WIN.INI"}, {"\\WINDOWS\\x", "c:/WINDOWS/x"}, {"C:\\", "c:"},
        {"C:\\WINDOWS\\главное МЕНЮ\\system\\Новый.lnk", "c:/WINDOWS/Главное меню/SYSTEM/Новый.lnk"},
        {"C:\\windows\\New\\system\\File.TXT", "c:/WINDOWS/New/system/File.TXT"}, {"D:\\x.txt", "d:/x.txt"},
        {"C:\\.\\WINDOWS\\Главное меню\\..\\.\\win.ini", "c:/WINDOWS/WIN.INI"},
        {"C:\\Missing\\..\\..\\..\\etc\\passwd", "c:/etc/passwd"}, {"..\\..\\..\\user.reg", "c:/user.reg"}})
    EXPECT_EQ(machine.HostPath(windows), prefix.file("dosdevices/") + host) << windows;
  TempPrefix data;
  fs::create_directory_symlink(data.path(), C("Desktop"));
  for (bool zDrive : {false, true}) {
    if (zDrive) fs::create_directory_symlink("/", prefix.file("dosdevices/z:"));
    for (auto [host, windows] : {std::pair{C("New/x.txt"), "C:\\New\\x.txt"}, {C(""), "C:\\"},
                                 {prefix.file("dosdevices/c:/WINDOWS/Главное меню"), "C:\\WINDOWS\\Главное меню"},
                                 {C("Desktop/a"), "C:\\Desktop\\a"}, {std::string("/etc/passwd"), "Z:\\etc\\passwd"}})
      EXPECT_EQ(machine.WindowsPath(host), windows) << host;
  }
}
// A stand-in for Debian's wineserver: a process wineserver64 locking byte 0 of ${TMPDIR}/<name>/server-<dev>-<ino>/lock
// (<name> written to $prefix/wineserver when `nameIt`), until the object goes.
class FakeServer {
 public:
  FakeServer(const std::string& prefix, const std::string& tmp, bool nameIt = true) {
    const struct stat st = Stat(prefix);
    char name[96];
    std::snprintf(name, sizeof name, "frambul-server-%d/server-%llx-%llx", ::getpid(),
                  static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino));
    if (nameIt) test::WriteFile(prefix + "/wineserver", fs::path(name).parent_path().string());
    const fs::path dir = fs::path(tmp) / name;
    fs::create_directories(dir);
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      struct flock fl {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 0, .l_len = 1, .l_pid = 0};
      const int fd = ::open((dir / "lock").c_str(), O_RDWR | O_CREAT, 0600);
      const char got = ::prctl(PR_SET_NAME, "wineserver64") == 0 && fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0;
      if (::write(ready[1], &got, 1) != 1 || !got) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char got = 0;
    running_ = pid_ > 0 && ::read(ready[0], &got, 1) == 1 && got;
    ::close(ready[0]);
  }
  // Its folder and lock file stay, as a real server leaves them.
  ~FakeServer() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
  }
  // Whether it holds its lock, as a server that started does.
  bool running() const { return running_; }

 private:
  pid_t pid_ = -1;
  bool running_ = false;
};

// The TMPDIR of this process, as a server started from it would use.
std::string OurTmp() { const char* tmp = std::getenv("TMPDIR"); return tmp && *tmp ? tmp : "/tmp"; }

// A server under any TMPDIR, before or after the open, stops writes and attribute changes, told once; OK retries.
// A lock file alone is what an ended server leaves; the scan made at the open serves one handler's attribute changes.
TEST(WineServer, ARunningServerAndAnOpenMachineKeepEachOtherOut) {
  TempPrefix prefix, otherTmp;
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  {
    FakeServer ended(prefix.path(), OurTmp());
    ASSERT_TRUE(ended.running());
  }
  EXPECT_THAT(OpenError(prefix.path()), StartsWith("opens"));
  for (const std::string& tmp : {OurTmp(), otherTmp.path()}) {
    FakeServer server(prefix.path(), tmp);
    ASSERT_TRUE(server.running());
    EXPECT_THAT(OpenError(prefix.path()),
                AllOf(StartsWith("WineRunning"), HasSubstr("WINEPREFIX=\"" + prefix.path() + "\" wineserver -k")));
  }
  {
    Machine machine(prefix.path());
    EXPECT_FALSE(FakeServer(prefix.path(), OurTmp()).running());
  }
  if (!fs::is_directory("/run/user/" + std::to_string(::getuid()))) {
    // The TMPDIR the program was given at its start holds the place, not the process's own.
    MachineOptions given;
    given.tempDirectory = otherTmp.path();
    Machine machine(prefix.path(), given);
    EXPECT_FALSE(FakeServer(prefix.path(), otherTmp.path()).running());
    EXPECT_TRUE(FakeServer(prefix.path(), OurTmp()).running());
  }
  fs::remove(prefix.file("wineserver"));
  test::WriteFile(winIni, "[windows]\r\nload=\r\n");
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  SetTestValue(machine, RootKey::CurrentUser, "v", "1");
  TIniFile(machine, "Win.Ini").WriteText("windows", "load", "x.exe");
  {
    FakeServer server(prefix.path(), otherTmp.path(), false);
    ASSERT_TRUE(server.running());
    EXPECT_EQ(SetAttributes(machine, "Win.Ini", 2), 0);  // the scan when the machine opened
    EXPECT_THROW(machine.Flush(), EMachineError);
    EXPECT_NO_THROW(machine.Flush());  // told once
    EXPECT_EQ(SetAttributes(machine, "Win.Ini", 7), 32);
    EXPECT_EQ(ReadFile(winIni) + DosAttrib(winIni), "[windows]\r\nload=\r\n0x2");
    EXPECT_THROW(machine.Flush(FlushMode::Retry), EMachineError);
  }
  machine.Flush(FlushMode::Retry);
  EXPECT_THAT(ReadFile(prefix.file("user.reg")), HasSubstr("\"v\"=\"1\""));
  EXPECT_EQ(ReadFile(winIni), "[windows]\r\nload=x.exe\r\n");
  fs::remove_all(fs::path(OurTmp()) / ("frambul-server-" + std::to_string(::getpid())));
}

// Fails the nth and later calls of one step to the disk; the first failing Write writes half, as a full disk does.
struct FailingFileSystem : FileSystem {
  enum Step { kNone, kWrite, kFsync, kRename };
  void FailAt(Step failing, int from = 1) { step = failing, nth = from, calls = 0; }
  // Counts the call; true, with errno set, when it is to fail.
  bool Fails(Step s, int error) {
    errno = error;
    return step == s && ++calls >= nth;
  }
  ssize_t Write(int fd, const void* data, size_t size) override {
    if (!Fails(kWrite, ENOSPC)) return FileSystem::Write(fd, data, size);
    return calls == nth && size > 1 ? FileSystem::Write(fd, data, size / 2) : -1;
  }
  int Fsync(int fd) override { return Fails(kFsync, EIO) ? -1 : FileSystem::Fsync(fd); }
  int Rename(const char* from, const char* to) override {
    ++renames;
    return Fails(kRename, EIO) ? -1 : FileSystem::Rename(from, to);
  }
  Step step = kNone;
  int nth = 1, calls = 0, renames = 0;
};

class FailedWrite : public ::testing::TestWithParam<std::pair<FailingFileSystem::Step, std::string>> {
 protected:
  TempPrefix prefix;
  FailingFileSystem fileSystem;
  Machine machine{prefix.path(), MachineOptions{&fileSystem, FixedClock}};
};

// One flush, one replacement per file: a failure before the renames changes nothing and leaves no temporary file,
// is told once, naming the hive and reason or the boot file; a failed rename leaves the files renamed before it new.
TEST_P(FailedWrite, ChangesNoFileOrOnlyTheFilesRenamedBefore) {
  const auto& [step, reason] = GetParam();
  const std::vector<std::string> files = {prefix.file("system.reg"), prefix.file("user.reg"),
                                          prefix.file("drive_c/MSDOS.SYS")};
  test::WriteFile(files[2], "[Options]\r\nBootGUI=1\r\nBootMulti=1\r\n");
  const std::vector<std::string> before = {ReadFile(files[0]), ReadFile(files[1]), ReadFile(files[2])};
  auto changed = [&] {
    std::string which;
    for (int i = 0; i < 3; ++i) which += ReadFile(files[i]) == before[i] ? "-" : "+";
    return which;
  };
  SetTestValue(machine, RootKey::CurrentUser, "user", "1");
  SetTestValue(machine, RootKey::LocalMachine, "big", std::string(100000, 'x'));
  TIniFile bootFile(machine, "C:\\MSDOS.SYS");
  bootFile.WriteText("Options", "BootGUI", "0");
  bootFile.WriteText("Options", "Logo", "0");
  bootFile.RemoveKey("Options", "BootMulti");

  fileSystem.FailAt(step);
  EXPECT_EQ(FlushError(machine), "Не удалось записать файл реестра «" + files[0] + "»: " + reason + ".");
  EXPECT_EQ(changed(), "---");
  const int calls = fileSystem.calls;
  EXPECT_EQ(FlushError(machine), "");
  EXPECT_EQ(fileSystem.calls, calls);
  fileSystem.FailAt(step, 3);
  EXPECT_EQ(FlushError(machine, FlushMode::Retry), "Unable to write to C:\\MSDOS.SYS");
  EXPECT_EQ(changed(), step == FailingFileSystem::kRename ? "++-" : "---");
  EXPECT_EQ(Entries(prefix.path()) + Entries(prefix.file("drive_c")), 4 + 2);  // hives, folders, WINDOWS, MSDOS.SYS
  fileSystem.FailAt(FailingFileSystem::kNone);
  fileSystem.renames = 0;
  bootFile.WriteText("Options", "Network", "1");
  machine.Flush();
  EXPECT_EQ(fileSystem.renames, step == FailingFileSystem::kRename ? 1 : 3);
  EXPECT_THAT(ReadFile(files[1]), HasSubstr("\"user\"=\"1\""));
  EXPECT_THAT(ReadFile(files[0]), HasSubstr(std::string(100000, 'x')));
  EXPECT_EQ(ReadFile(files[2]), "[Options]\r\nBootGUI=0\r\nLogo=0\r\nNetwork=1\r\n");
  machine.Flush(FlushMode::Retry);
  EXPECT_EQ(fileSystem.renames, step == FailingFileSystem::kRename ? 1 : 3);  // nothing left to write
}

const std::string kNoSpace = "нет места на диске", kIoError = "ошибка ввода-вывода на диске";
INSTANTIATE_TEST_SUITE_P(Steps, FailedWrite,
                         ::testing::Values(std::pair{FailingFileSystem::kWrite, kNoSpace},
                                           std::pair{FailingFileSystem::kFsync, kIoError},
                                           std::pair{FailingFileSystem::kRename, kIoError}));

// A real short write (the file size limit) leaves the old hive and names the reason.
TEST(Rewrite, AShortWriteLeavesTheOldHive) {
  TempPrefix prefix;
  const std::string system = prefix.file("system.reg"), before = ReadFile(system);
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  SetTestValue(machine, RootKey::LocalMachine, "v", std::string(200000, 'x'));
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{4096, limit.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = FlushError(machine);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(error, "Не удалось записать файл реестра «" + system + "»: превышен предел размера файла.");
  EXPECT_EQ(ReadFile(system), before);
}

// A rewrite keeps a link, mode, owner and extended attributes; an equal write touches nothing; read-only stops root.
TEST(Rewrite, KeepsPermissionsOwnerAndExtendedAttributesAndHonoursReadOnly) {
  TempPrefix prefix;
  const std::string system = prefix.file("system.reg"), real = prefix.file("drive_c/real.ini");
  const std::string msdos = prefix.file("drive_c/MSDOS.SYS");
  test::WriteFile(real, "[windows]\r\nload=a.exe\r\n");
  test::WriteFile(msdos, "[Options]\r\nBootGUI=1\r\n");
  ASSERT_EQ(::symlink("../real.ini", prefix.file("drive_c/WINDOWS/WIN.INI").c_str()), 0);
  for (const std::string& file : {system, real}) {
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(::setxattr(file.c_str(), "user.DOSATTRIB", "0x6", 3, 0), 0);
    ASSERT_TRUE(::geteuid() != 0 || ::chown(file.c_str(), 1234, 2345) == 0);
  }
  const struct stat systemBefore = Stat(system), realBefore = Stat(real);
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TIniFile ini(machine, "Win.Ini"), boot(machine, "C:\\MSDOS.SYS");
  ini.WriteText("Windows", "LOAD", "a.exe");
  EXPECT_EQ(Stat(real).st_ino, realBefore.st_ino);
  SetTestValue(machine, RootKey::LocalMachine, "v", "1");
  machine.Flush();
  ini.WriteText("windows", "load", "b.exe");
  boot.WriteText("Options", "BootGUI", "0");
  boot.WriteText("Options", "BootGUI", "1");  // back as it was: nothing to write
  const ino_t bootInode = Stat(msdos).st_ino;
  machine.Flush();
  EXPECT_EQ(Stat(msdos).st_ino, bootInode);
  ASSERT_EQ(SetAttributes(machine, "C:\\MSDOS.SYS", 7), 0);
  boot.WriteText("Options", "BootGUI", "0");
  boot.RemoveKey("Options", "BootGUI");
  EXPECT_EQ(FlushError(machine), "Unable to write to C:\\MSDOS.SYS");
  EXPECT_TRUE(fs::is_symlink(prefix.file("drive_c/WINDOWS/WIN.INI")));
  EXPECT_EQ(ReadFile(real) + ReadFile(msdos), "[windows]\r\nload=b.exe\r\n[Options]\r\nBootGUI=1\r\n");
  for (const auto& [file, before] : {std::pair{system, systemBefore}, {real, realBefore}}) {
    const struct stat after = Stat(file);
    EXPECT_NE(after.st_ino, before.st_ino) << file;
    EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid),
              std::tie(before.st_mode, before.st_uid, before.st_gid)) << file;
    EXPECT_EQ(DosAttrib(file), "0x6") << file;
  }
  EXPECT_EQ(Entries(prefix.path()) + Entries(prefix.file("drive_c")), 4 + 3);
}

}  // namespace
}  // namespace frambul::store
