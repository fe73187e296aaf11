// Profile files: the lossless document model against exact bytes, and
// TIniFile on a fresh prefix (file lookup, refusals, IniFileMapping).

#include "engine/store/ini_document.h"
#include "engine/store/inifile.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadFile;
using test::TempPrefix;

// "Разное" and "РАЗНОЕ", "ключ" and "КЛЮЧ", "значение" in code page 1251.
const std::string kRaznoe1251 = "\xD0\xE0\xE7\xED\xEE\xE5";
const std::string kRAZNOE1251 = "\xD0\xC0\xC7\xCD\xCE\xC5";
const std::string kKlyuch1251 = "\xEA\xEB\xFE\xF7";
const std::string kZnachenie1251 = "\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5";

// UTF-16LE bytes of UTF-8 text (ASCII and Cyrillic only).
std::string Utf16LE(std::u16string_view text) {
  std::string out;
  for (char16_t u : text) out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return out;
}

struct RoundTripCase {
  const char* name;
  std::string bytes;
};

class IniRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Whatever the file looks like, reading and writing it back changes no byte,
// and an edit elsewhere in the file leaves these lines as they were.
TEST_P(IniRoundTrip, ParseAndSerializeGiveTheSameBytes) {
  const std::string& bytes = GetParam().bytes;
  EXPECT_EQ(IniDocument::Parse(bytes, 1251).Serialize(), bytes);
  EXPECT_EQ(IniDocument::Parse(bytes, 1252).Serialize(), bytes);
  EXPECT_EQ(IniDocument::Parse(bytes, 65001).Serialize(), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniRoundTrip,
    ::testing::Values(
        RoundTripCase{"Empty", ""},
        RoundTripCase{"CommentsBlanksSpacing",
                      "; top comment\r\n\r\n  [ Section ]  \r\n  key  =  value  \r\n;k=v\r\n\t\r\n"
                      "key2=\"quoted\" \r\nnot a key\r\n[broken\r\n=novalue\r\n"},
        RoundTripCase{"LfOnly", "[a]\nk=1\n\n; c\n"},
        RoundTripCase{"Mixed", "[a]\r\nk=1\nj=2\r\r\n\r[b]\n\r\n"},
        RoundTripCase{"NoFinalNewline", "[a]\r\nk=1"},
        RoundTripCase{"OnlyNewlines", "\r\n\n\r"},
        RoundTripCase{"Utf8Bom", "\xEF\xBB\xBF[\xD0\xB0]\r\n\xD0\xBA=\xE4\xB8\xAD\r\n"},
        RoundTripCase{"Utf8BomOnly", "\xEF\xBB\xBF"},
        RoundTripCase{"Utf16LE", "\xFF\xFE" + Utf16LE(u"[Разное]\r\nКлюч=значение\n; c\r\n")},
        RoundTripCase{"Utf16LEOddByte", "\xFF\xFE" + Utf16LE(u"[a]\r\nk=1") + "x"},
        RoundTripCase{"Cp1251", "[" + kRaznoe1251 + "]\r\n" + kKlyuch1251 + "=" + kZnachenie1251 +
                                    "\r\n\x98\x98=\xFF\r\n"},
        RoundTripCase{"BinaryJunk", std::string("[a]\r\nk=\0\x01\x02\r\n\x80\x81", 14)}),
    [](const ::testing::TestParamInfo<RoundTripCase>& p) { return std::string(p.param.name); });

// One Set, the whole file compared: only the touched line changes, new keys go
// after the last key of their section, new sections at the end of the file.
TEST(IniDocument, SetRewritesOnlyItsLine) {
  const std::string file =
      "; settings\r\n"
      "[One]\r\n"
      "  Alpha =  1 \r\n"
      "beta=2\n"
      "\r\n"
      "; trailing comment of One\r\n"
      "[Two]\r\n"
      "gamma=3\r\n"
      "\r\n";
  {
    auto doc = IniDocument::Parse(file, 1251);
    ASSERT_TRUE(doc.Set("one", "ALPHA", "9"));
    EXPECT_EQ(doc.Serialize(),
              "; settings\r\n[One]\r\nAlpha=9\r\nbeta=2\n\r\n; trailing comment of One\r\n[Two]\r\ngamma=3\r\n\r\n");
  }
  {
    auto doc = IniDocument::Parse(file, 1251);
    ASSERT_TRUE(doc.Set("One", "beta", "x"));  // keeps the LF of its line
    EXPECT_EQ(doc.Serialize(),
              "; settings\r\n[One]\r\n  Alpha =  1 \r\nbeta=x\n\r\n; trailing comment of One\r\n[Two]\r\ngamma=3\r\n\r\n");
  }
  {
    auto doc = IniDocument::Parse(file, 1251);
    ASSERT_TRUE(doc.Set("ONE", "delta", "4"));
    EXPECT_EQ(doc.Serialize(),
              "; settings\r\n[One]\r\n  Alpha =  1 \r\nbeta=2\ndelta=4\r\n\r\n; trailing comment of One\r\n[Two]\r\n"
              "gamma=3\r\n\r\n");
  }
  {
    auto doc = IniDocument::Parse(file, 1251);
    ASSERT_TRUE(doc.Set("Three", "k", ""));  // an empty value keeps "k="
    EXPECT_EQ(doc.Serialize(), file + "[Three]\r\nk=\r\n");
  }
  {
    // A section without keys takes the new key right below its header.
    auto doc = IniDocument::Parse("[a]\r\n; note\r\n[b]\r\nx=1\r\n", 1251);
    ASSERT_TRUE(doc.Set("a", "k", "v"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=v\r\n; note\r\n[b]\r\nx=1\r\n");
  }
  {
    // The line end of the file is used for new lines.
    auto doc = IniDocument::Parse("[a]\nx=1\n", 1251);
    ASSERT_TRUE(doc.Set("b", "k", "v"));
    EXPECT_EQ(doc.Serialize(), "[a]\nx=1\n\n[b]\nk=v\n");
  }
  {
    // A missing final newline stays missing; no line runs into another.
    auto doc = IniDocument::Parse("[a]\r\nx=1", 1251);
    ASSERT_TRUE(doc.Set("a", "y", "2"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\ny=2");
    ASSERT_TRUE(doc.Set("c", "z", "3"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\ny=2\r\n\r\n[c]\r\nz=3");
  }
  {
    // A section given twice: the key is changed where it is; new keys go to the first one.
    auto doc = IniDocument::Parse("[a]\r\nx=1\r\n[b]\r\n[A]\r\ny=2\r\n", 1251);
    ASSERT_TRUE(doc.Set("a", "y", "3"));
    ASSERT_TRUE(doc.Set("a", "z", "4"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\nz=4\r\n[b]\r\n[A]\r\ny=3\r\n");
  }
}

// Text goes into the file in the file's own encoding; text the encoding
// cannot hold and line breaks are refused with the document unchanged.
TEST(IniDocument, EncodesInTheFilesEncodingAndRefusesWhatItCannotHold) {
  const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  {
    auto doc = IniDocument::Parse("[a]\r\nk=1\r\n", 1251);
    ASSERT_TRUE(doc.Set("a", "k", "\xD0\x96"));  // Ж
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=\xC6\r\n");
    EXPECT_FALSE(doc.Set("a", "k", chinese));
    EXPECT_FALSE(doc.Set("a", "new", chinese));
    EXPECT_FALSE(doc.Set("b", "new", chinese));
    EXPECT_FALSE(doc.Set("a", "k", "one\r\ntwo"));
    EXPECT_FALSE(doc.Set("a", "k", "one\ntwo"));
    EXPECT_FALSE(doc.Set("a", "k", "one\rtwo"));
    EXPECT_FALSE(doc.Set("a", "x\ny", "1"));
    EXPECT_FALSE(doc.Set("a\r\n[b", "x", "1"));
    // Keys that would read back as a comment or a section, or as nothing.
    EXPECT_FALSE(doc.Set("a", ";x", "1"));
    EXPECT_FALSE(doc.Set("a", "[x", "1"));
    EXPECT_FALSE(doc.Set("a", " ", "1"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=\xC6\r\n");
    // Blanks around the names given are not part of them.
    ASSERT_TRUE(doc.Set(" a ", " k\t", "2"));
    ASSERT_TRUE(doc.Set(" b ", " n ", "3"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=2\r\n\r\n[b]\r\nn=3\r\n");
    EXPECT_EQ(doc.Get(" b", "n "), "3");
    ASSERT_TRUE(doc.Remove(" b ", " n "));
  }
  {
    auto doc = IniDocument::Parse("[a]\r\nk=1\r\n", 1252);
    EXPECT_FALSE(doc.Set("a", "k", "\xD0\x96"));
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=1\r\n");
  }
  {
    auto doc = IniDocument::Parse("\xEF\xBB\xBF[a]\nk=1\n", 1251);
    ASSERT_TRUE(doc.Set("a", "k", chinese));
    ASSERT_TRUE(doc.Set("a", "j", "\xD0\x96"));
    EXPECT_EQ(doc.Serialize(), "\xEF\xBB\xBF[a]\nk=" + chinese + "\nj=\xD0\x96\n");
    EXPECT_EQ(doc.Get("A", "K"), chinese);
  }
  {
    auto doc = IniDocument::Parse("\xFF\xFE" + Utf16LE(u"[Разное]\r\nКлюч=1\r\n"), 1252);
    EXPECT_EQ(doc.Get("РАЗНОЕ", "ключ"), "1");
    ASSERT_TRUE(doc.Set("разное", "КЛЮЧ", "中"));
    ASSERT_TRUE(doc.Set("Новый", "k", "ё"));
    EXPECT_EQ(doc.Serialize(), "\xFF\xFE" + Utf16LE(u"[Разное]\r\nКлюч=中\r\n\r\n[Новый]\r\nk=ё\r\n"));
  }
}

// Reading: blanks and one pair of enclosing quotes go, names match without
// regard to case (Cyrillic too), lines without "=" and comments are no keys.
TEST(IniDocument, GetFindsValuesAsWindowsDoes) {
  const std::string file =
      "[" + kRaznoe1251 + "]\r\n" + kKlyuch1251 + " = " + kZnachenie1251 + " \r\n" +
      "[Quotes]\r\n"
      "plain=  text with  inner  blanks  \r\n"
      "double=\" padded \"\r\n"
      "single='x'\r\n"
      "twice=\"\"x\"\"\r\n"
      "open=\"x\r\n"
      "mixed=\"x'\r\n"
      "empty=\r\n"
      "emptyQuotes=\"\"\r\n"
      "spaces=   \r\n"
      "; hidden=1\r\n"
      "nokey\r\n"
      "eq=a=b\r\n"
      "inline=v ; not a comment\r\n"
      "\tTabbed\t=\tv\t\r\n";
  auto doc = IniDocument::Parse(file, 1251);
  EXPECT_EQ(doc.Get("РАЗНОЕ", "КЛЮЧ"), "значение");
  EXPECT_EQ(doc.Get("разное", "Ключ"), "значение");
  EXPECT_EQ(doc.Get("quotes", "PLAIN"), "text with  inner  blanks");
  EXPECT_EQ(doc.Get("Quotes", "double"), " padded ");
  EXPECT_EQ(doc.Get("Quotes", "single"), "x");
  EXPECT_EQ(doc.Get("Quotes", "twice"), "\"x\"");
  EXPECT_EQ(doc.Get("Quotes", "open"), "\"x");
  EXPECT_EQ(doc.Get("Quotes", "mixed"), "\"x'");
  EXPECT_EQ(doc.Get("Quotes", "empty"), "");
  EXPECT_EQ(doc.Get("Quotes", "emptyQuotes"), "");
  EXPECT_EQ(doc.Get("Quotes", "spaces"), "");
  EXPECT_EQ(doc.Get("Quotes", "hidden"), std::nullopt);
  EXPECT_EQ(doc.Get("Quotes", "; hidden"), std::nullopt);
  EXPECT_EQ(doc.Get("Quotes", "nokey"), std::nullopt);
  EXPECT_EQ(doc.Get("Quotes", "eq"), "a=b");
  EXPECT_EQ(doc.Get("Quotes", "inline"), "v ; not a comment");
  EXPECT_EQ(doc.Get("Quotes", "tabbed"), "v");
  EXPECT_EQ(doc.Get("Missing", "plain"), std::nullopt);
  EXPECT_EQ(doc.Get("Разное", "plain"), std::nullopt);
  // The 1251 bytes of [РАЗНОЕ] name the same section.
  auto upper = IniDocument::Parse("[" + kRAZNOE1251 + "]\r\nk=1\r\n", 1251);
  EXPECT_EQ(upper.Get("Разное", "K"), "1");
}

TEST(IniDocument, RemoveTakesOnlyTheKeysLine) {
  const std::string file = "; c1\r\n[a]\r\n; c2\r\nk=1\r\nj=2\r\n\r\n; c3\r\n[b]\r\nk=3";
  auto doc = IniDocument::Parse(file, 1251);
  EXPECT_FALSE(doc.Remove("a", "missing"));
  EXPECT_FALSE(doc.Remove("missing", "k"));
  EXPECT_EQ(doc.Serialize(), file);
  ASSERT_TRUE(doc.Remove("A", "K"));
  EXPECT_EQ(doc.Serialize(), "; c1\r\n[a]\r\n; c2\r\nj=2\r\n\r\n; c3\r\n[b]\r\nk=3");
  EXPECT_EQ(doc.Get("b", "k"), "3");
  ASSERT_TRUE(doc.Remove("b", "k"));  // the last line had no line end: neither has the new last line
  EXPECT_EQ(doc.Serialize(), "; c1\r\n[a]\r\n; c2\r\nj=2\r\n\r\n; c3\r\n[b]");
}

// A UTF-16 file whose length is odd ends in a stray byte; a new line must not
// land behind it, where every later character would be read one byte off.
TEST(IniDocument, AStrayByteAtTheEndOfAUtf16FileDamagesNothing) {
  const std::string file = "\xFF\xFE" + Utf16LE(u"[a]\r\nk=1") + "x";
  auto doc = IniDocument::Parse(file, 1252);
  if (doc.Set("a", "j", "2")) {
    auto again = IniDocument::Parse(doc.Serialize(), 1252);
    EXPECT_EQ(again.Get("a", "j"), "2");
  }
  EXPECT_EQ(IniDocument::Parse(doc.Serialize(), 1252).Get("a", "k"), "1");
}

// ---------------------------------------------------------------------------
// TIniFile on a prefix

class IniFileTest : public ::testing::Test {
 protected:
  IniFileTest() : machine(prefix.path(), MachineOptions{nullptr, FixedClock}) {}
  std::string Win(std::string_view name) const { return prefix.file("drive_c/WINDOWS/" + std::string(name)); }

  TempPrefix prefix;
  Machine machine;
};

TEST_F(IniFileTest, BareNameMeansTheFileInTheWindowsDirectory) {
  test::WriteFile(Win("WIN.INI"), "[windows]\r\nload=a.exe\r\nrun=\r\n");
  TIniFile ini(machine, "Win.Ini");
  EXPECT_EQ(ini.FileName(), "Win.Ini");
  EXPECT_EQ(ini.ReadText("Windows", "LOAD", "d"), "a.exe");
  EXPECT_EQ(ini.ReadText("windows", "run", "d"), "");
  EXPECT_EQ(ini.ReadText("windows", "missing", "d"), "d");
  EXPECT_EQ(ini.ReadText("nosection", "load", "d"), "d");
  ini.WriteText("windows", "run", "b.exe");
  EXPECT_EQ(ReadFile(Win("WIN.INI")), "[windows]\r\nload=a.exe\r\nrun=b.exe\r\n");
  // The existing file was found without regard to case; no second one appeared.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix.file("drive_c/WINDOWS")),
                          std::filesystem::directory_iterator()),
            1);
  TIniFile full(machine, "c:\\windows\\win.ini");
  EXPECT_EQ(full.ReadText("WINDOWS", "Run", ""), "b.exe");
}

TEST_F(IniFileTest, WritesKeepEveryOtherByte) {
  const std::string file =
      "; Cyrillic comment \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n"
      "[vcache]\r\n"
      "MinFileCache = 2048\n"
      "MaxFileCache=16384\r\n"
      "\r\n"
      ";[old]\r\n"
      "[" + kRaznoe1251 + "]\r\n" +
      "x=1";
  test::WriteFile(Win("SYSTEM.INI"), file);
  TIniFile ini(machine, "System.Ini");
  ini.WriteText("VCache", "minfilecache", "4096");
  ini.WriteNumber("vcache", "ChunkSize", -512);
  ini.WriteText("РАЗНОЕ", "Ключ", "");
  ini.WriteText("New", "k", "значение");
  EXPECT_EQ(ReadFile(Win("SYSTEM.INI")),
            "; Cyrillic comment \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n"
            "[vcache]\r\n"
            "MinFileCache=4096\n"
            "MaxFileCache=16384\r\n"
            "ChunkSize=-512\r\n"
            "\r\n"
            ";[old]\r\n"
            "[" + kRaznoe1251 + "]\r\n" +
            "x=1\r\n\xCA\xEB\xFE\xF7=\r\n"
            "\r\n"
            "[New]\r\n"
            "k=" + kZnachenie1251);
  EXPECT_EQ(ini.ReadText("разное", "КЛЮЧ", "default"), "");
  EXPECT_EQ(ini.ReadText("new", "K", ""), "значение");

  ini.RemoveKey("vcache", "MAXFILECACHE");
  ini.RemoveKey("vcache", "missing");
  ini.RemoveKey("missing", "x");
  EXPECT_EQ(ReadFile(Win("SYSTEM.INI")),
            "; Cyrillic comment \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n"
            "[vcache]\r\n"
            "MinFileCache=4096\n"
            "ChunkSize=-512\r\n"
            "\r\n"
            ";[old]\r\n"
            "[" + kRaznoe1251 + "]\r\n" +
            "x=1\r\n\xCA\xEB\xFE\xF7=\r\n"
            "\r\n"
            "[New]\r\n"
            "k=" + kZnachenie1251);
  EXPECT_EQ(ini.ReadText("vcache", "MaxFileCache", "gone"), "gone");
}

TEST_F(IniFileTest, NewFileIsCreatedWithCrlfAndNoBom) {
  TIniFile ini(machine, "C:\\WINDOWS\\NEW.INI");
  EXPECT_EQ(ini.ReadText("s", "k", "d"), "d");
  ini.RemoveKey("s", "k");  // removing from a missing file creates nothing
  EXPECT_FALSE(std::filesystem::exists(Win("NEW.INI")));
  ini.WriteText("s", "k", "Я");
  ini.WriteText("s", "empty", "");
  EXPECT_EQ(ReadFile(Win("NEW.INI")), "[s]\r\nk=\xDF\r\nempty=\r\n");
  EXPECT_EQ(ini.ReadText("s", "empty", "d"), "");
}

TEST_F(IniFileTest, LongValuesReadAsTheirFirst2047Characters) {
  const std::string ascii(3000, 'a');
  std::string cyrillic1251(3000, '\xE6');  // ж
  test::WriteFile(Win("LONG.INI"), "[s]\r\nascii=" + ascii + "\r\ncyr=" + cyrillic1251 + "\r\nexact=" +
                                       std::string(2047, 'b') + "\r\n");
  TIniFile ini(machine, "Long.ini");
  EXPECT_EQ(ini.ReadText("s", "ascii", ""), std::string(2047, 'a'));
  std::string zh;
  for (int i = 0; i < 2047; ++i) zh += "\xD0\xB6";
  EXPECT_EQ(ini.ReadText("s", "cyr", ""), zh);
  EXPECT_EQ(ini.ReadText("s", "exact", ""), std::string(2047, 'b'));
  EXPECT_EQ(ini.ReadText("s", "missing", std::string(3000, 'd')), std::string(2047, 'd'));
}

// Every refusal: the exact message with the file name as given, and the file
// left as it was.
TEST_F(IniFileTest, RefusedWritesRaiseUnableToWriteAndChangeNothing) {
  const std::string file = "[windows]\r\nload=\r\n";
  test::WriteFile(Win("WIN.INI"), file);
  TIniFile ini(machine, "C:\\WINDOWS\\WIN.INI");
  auto expectRefused = [&](std::string_view section, std::string_view key, std::string_view value) {
    try {
      ini.WriteText(section, key, value);
      ADD_FAILURE() << "no error for [" << section << "] " << key << "=" << value;
    } catch (const ERegistryException&) {
      ADD_FAILURE() << "a profile write raised the registry's error kind";
    } catch (const EStoreError& e) {
      EXPECT_STREQ(e.what(), "Unable to write to C:\\WINDOWS\\WIN.INI");
    }
    EXPECT_EQ(ReadFile(Win("WIN.INI")), file);
  };
  expectRefused("windows", "load", "\xE4\xB8\xAD\xE6\x96\x87");  // Chinese into code page 1251
  expectRefused("windows", "new", "\xE4\xB8\xAD");
  expectRefused("windows", "load", "a\r\n[evil]\r\nx=1");
  expectRefused("windows", "load", "a\nb");

  ASSERT_EQ(::chmod(Win("WIN.INI").c_str(), 0444), 0);  // the read-only attribute, even for root
  expectRefused("windows", "load", "x.exe");
  expectRefused("windows", "run", "x.exe");
  ini.RemoveKey("windows", "load");  // never raises
  EXPECT_EQ(ReadFile(Win("WIN.INI")), file);

  TIniFile nowhere(machine, "C:\\NO SUCH FOLDER\\A.INI");
  try {
    nowhere.WriteText("s", "k", "v");
    ADD_FAILURE() << "wrote into a missing folder";
  } catch (const EStoreError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to C:\\NO SUCH FOLDER\\A.INI");
  }
  nowhere.RemoveKey("s", "k");
  EXPECT_FALSE(std::filesystem::exists(prefix.file("drive_c/NO SUCH FOLDER")));

  TIniFile folder(machine, "C:\\WINDOWS");  // a folder is no file
  EXPECT_EQ(folder.ReadText("s", "k", "d"), "d");
  EXPECT_THROW(folder.WriteText("s", "k", "v"), EStoreError);
  folder.RemoveKey("s", "k");
  EXPECT_TRUE(std::filesystem::is_directory(Win("")));
}

// A Wine prefix maps sections of win.ini to the registry (the lines below are
// the ones Wine 8 writes into system.reg).
const char kMappedSystem[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1796681153\n"
    "#time=1dd869720bc3014\n"
    "\"SystemRoot\"=\"C:\\\\windows\"\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\IniFileMapping\\\\win.ini] 1796681153\n"
    "#time=1dd869720bc6750\n"
    "\"desktop\"=\"USR:Control Panel\\\\Desktop\"\n"
    "\"devices\"=\"USR:Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Devices\"\n"
    "\"extensions\"=\"USR:Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Extensions\"\n"
    "\"intl\"=\"USR:Control Panel\\\\International\"\n"
    "\"printerports\"=\"USR:Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\PrinterPorts\"\n"
    "\"sounds\"=\"USR:Control Panel\\\\Sounds\"\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\IniFileMapping\\\\win.ini\\\\windows] 1796681153\n"
    "#time=1dd869720bc6c46\n"
    "@=\"USR:Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Windows\"\n"
    "\"CursorBlinkRate\"=\"USR:Control Panel\\\\Desktop\"\n";

const char kWineUser[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Control Panel\\\\Desktop] 1796681153\n"
    "#time=1dd869720bc6c46\n"
    "\"CursorBlinkRate\"=\"530\"\n";

TEST(IniFileMapping, MappedSectionsGoToTheUsersRegistry) {
  TempPrefix prefix(kMappedSystem, kWineUser);
  std::filesystem::create_directories(prefix.file("drive_c/windows"));
  std::filesystem::remove(prefix.file("drive_c/WINDOWS"));
  const std::string winIni = prefix.file("drive_c/windows/win.ini");
  test::WriteFile(winIni, "[mail]\r\nmapi=1\r\n");
  const std::string userBefore = ReadFile(prefix.file("user.reg"));
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TIniFile ini(machine, "Win.Ini");

  EXPECT_EQ(ini.ReadText("windows", "load", "none"), "none");
  ini.WriteText("windows", "load", "x");
  ini.WriteText("Windows", "Run", "");
  ini.WriteText("windows", "CursorBlinkRate", "600");  // a key mapped on its own
  ini.WriteText("desktop", "Wallpaper", "Облака.bmp");  // a section mapped by a value of the file's key
  ini.WriteText("mail", "mapi", "0");                 // not mapped: the file
  EXPECT_EQ(ReadFile(winIni), "[mail]\r\nmapi=0\r\n");
  EXPECT_EQ(ReadFile(prefix.file("user.reg")), userBefore);  // reaches the disk on Flush

  EXPECT_EQ(ini.ReadText("WINDOWS", "LOAD", "none"), "x");
  EXPECT_EQ(ini.ReadText("windows", "run", "none"), "");
  EXPECT_EQ(ini.ReadText("windows", "cursorblinkrate", ""), "600");
  EXPECT_EQ(ini.ReadText("Desktop", "wallpaper", ""), "Облака.bmp");
  EXPECT_EQ(ini.ReadText("mail", "MAPI", ""), "0");

  machine.Flush();
  EXPECT_EQ(ReadFile(winIni), "[mail]\r\nmapi=0\r\n");
  EXPECT_EQ(ReadFile(prefix.file("user.reg")),
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
            "\n"
            "#arch=win64\n"
            "\n"
            "[Control Panel\\\\Desktop] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "\"CursorBlinkRate\"=\"600\"\n"
            "\"Wallpaper\"=\"\\x41e\\x431\\x43b\\x430\\x43a\\x430.bmp\"\n"
            "\n"
            "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Windows] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "\"load\"=\"x\"\n"
            "\"Run\"=\"\"\n");

  ini.RemoveKey("windows", "load");
  EXPECT_EQ(ini.ReadText("windows", "load", "gone"), "gone");
  EXPECT_EQ(ReadFile(winIni), "[mail]\r\nmapi=0\r\n");
}

TEST(IniFileMapping, SysMeansTheMachinesSoftwareKey) {
  std::string system(TempPrefix::DefaultSystemReg());
  system +=
      "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\IniFileMapping\\\\system.ini] 946684800\n"
      "\"boot\"=\"SYS:Frambul\\\\Boot\"\n";
  TempPrefix prefix(system);
  test::WriteFile(prefix.file("drive_c/WINDOWS/SYSTEM.INI"), "[boot]\r\nshell=Explorer.exe\r\n");
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TIniFile ini(machine, "System.Ini");
  ini.WriteText("Boot", "Shell", "progman.exe");
  machine.Flush();
  EXPECT_EQ(ReadFile(prefix.file("drive_c/WINDOWS/SYSTEM.INI")), "[boot]\r\nshell=Explorer.exe\r\n");
  EXPECT_NE(ReadFile(prefix.file("system.reg"))
                .find("[Software\\\\Frambul\\\\Boot] 1767225600\n#time=1dc7ab192810000\n\"Shell\"=\"progman.exe\"\n"),
            std::string::npos);
  EXPECT_EQ(ini.ReadText("boot", "shell", ""), "progman.exe");
}

TEST(IniFileMapping, AMachineWithoutMappingUsesTheFile) {
  TempPrefix prefix;  // Windows 98: no Windows NT key
  test::WriteFile(prefix.file("drive_c/WINDOWS/WIN.INI"), "[windows]\r\nload=\r\n");
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TIniFile ini(machine, "Win.Ini");
  ini.WriteText("windows", "load", "x");
  EXPECT_EQ(ReadFile(prefix.file("drive_c/WINDOWS/WIN.INI")), "[windows]\r\nload=x\r\n");
  EXPECT_FALSE(machine.hive(RootKey::CurrentUser).dirty());
}

}  // namespace
}  // namespace frambul::store
