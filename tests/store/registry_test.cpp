// TRegistry's promises, on a fresh prefix per test.

#include "engine/store/registry.h"

#include <gtest/gtest.h>

#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadFile;
using test::TempPrefix;

const char kSystem[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\Classes\\\\Paint.Picture\\\\DefaultIcon] 946684800\n"
    "#time=1bf53eb256d4000\n"
    "@=\"C:\\\\WINDOWS\\\\PBRUSH.EXE,1\"\n"
    "\n"
    "[Software\\\\Classes\\\\Paint.Picture\\\\shell\\\\open\\\\command] 946684800\n"
    "#time=1bf53eb256d4000\n"
    "@=\"C:\\\\WINDOWS\\\\PBRUSH.EXE \\\"%1\\\"\"\n"
    "\n"
    "[Software\\\\Kinds] 946684800\n"
    "#time=1bf53eb256d4000\n"
    "\"Bin\"=hex:01,02\n"
    "\"Dword\"=dword:00000001\n"
    "\"Empty\"=hex:\n"
    "\"Expand\"=str(2):\"%WINDIR%\"\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\"Nul\"=\"ab\\0cd\"\n"
    "\"Short\"=hex(4):01,02\n"
    "\"Str\"=\"text\"\n"
    "\"Tiny\"=\"a\"\n"
    "\"Wide\"=hex(4):01,02,03,04,05\n"
    "\n"
    "[Software\\\\Linked] 946684800\n"
    "#time=1bf53eb256d4000\n"
    "#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\\\n"
    "  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,\\\n"
    "  74,00,77,00,61,00,72,00,65,00,5c,00,4b,00,69,00,6e,00,64,00,73,00\n"
    "\n"
    "[Software\\\\Tree\\\\L1\\\\L2\\\\L3] 946684800\n"
    "#time=1bf53eb256d4000\n"
    "\"deep\"=\"1\"\n"
    "\n"
    "[Software\\\\Tree\\\\Other] 946684800\n"
    "#time=1bf53eb256d4000\n";

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : prefix(kSystem), machine(prefix.path(), MachineOptions{nullptr, FixedClock}), reg(machine) {
    reg.SetCurrentRoot(RootKey::LocalMachine);
  }
  TempPrefix prefix;
  Machine machine;
  TRegistry reg;
};

TEST_F(RegistryTest, StartsOnTheUserRootAndSwitchingRootsClosesTheKey) {
  TRegistry fresh(machine);
  EXPECT_EQ(fresh.CurrentRoot(), RootKey::CurrentUser);
  EXPECT_TRUE(fresh.OpenPath("\\Control Panel\\Desktop", false));
  EXPECT_EQ(fresh.ReadText("menushowdelay"), "400");
  fresh.SetCurrentRoot(RootKey::CurrentUser);  // the root in force: the key stays open
  EXPECT_EQ(fresh.ReadText("MenuShowDelay"), "400");
  fresh.SetCurrentRoot(RootKey::LocalMachine);
  EXPECT_FALSE(fresh.HasOpenKey());
  EXPECT_EQ(fresh.ReadText("MenuShowDelay"), "");
}

TEST_F(RegistryTest, PathsMatchWithoutCaseAndCountFromTheOpenKey) {
  ASSERT_TRUE(reg.OpenPath("\\SOFTWARE\\Classes\\Paint.Picture\\DefaultIcon", false));
  EXPECT_EQ(reg.ReadText(""), "C:\\WINDOWS\\PBRUSH.EXE,1");
  ASSERT_TRUE(reg.OpenPath("\\Software\\Classes\\Paint.Picture", false));
  ASSERT_TRUE(reg.OpenPath("SHELL\\Open\\Command", false));
  EXPECT_EQ(reg.ReadText(""), "C:\\WINDOWS\\PBRUSH.EXE \"%1\"");
  // A failed open leaves the previous key open and current.
  EXPECT_FALSE(reg.OpenPath("\\Software\\Missing", false));
  EXPECT_EQ(reg.ReadText(""), "C:\\WINDOWS\\PBRUSH.EXE \"%1\"");
  // The root in force again, then a relative create lands below the open key.
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("Command", true));
  EXPECT_TRUE(reg.OpenPath("\\Software\\Classes\\Paint.Picture\\shell\\open\\command\\command", false));
  // An empty path without the flag reopens the key itself.
  EXPECT_TRUE(reg.OpenPath("", true));
}

TEST_F(RegistryTest, ReadsFollowTheValueKindRules) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
  EXPECT_EQ(reg.ReadText("Str"), "text");
  EXPECT_EQ(reg.ReadText("Expand"), "%WINDIR%");  // unexpanded
  EXPECT_EQ(reg.ReadText("Nul"), "ab");            // ends at the first NUL
  EXPECT_EQ(reg.ReadText("Missing"), "");
  EXPECT_EQ(reg.ReadText("Empty"), "");            // zero length, whatever the kind
  EXPECT_THROW(reg.ReadText("Dword"), ERegistryException);

  EXPECT_EQ(reg.ReadDword("Dword"), 1);
  EXPECT_EQ(reg.ReadDword("Short"), 0x0201);
  auto message = [&](auto f) {
    try {
      f();
    } catch (const ERegistryException& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { reg.ReadDword("Missing"); }), "Failed to get data for 'Missing'");
  EXPECT_EQ(message([&] { reg.ReadDword("Wide"); }), "Failed to get data for 'Wide'");
  EXPECT_EQ(message([&] { reg.ReadDword("Str"); }), "Failed to get data for 'Str'");
  EXPECT_EQ(message([&] { reg.ReadDword("Tiny"); }), "Invalid data type for 'Tiny'");
  EXPECT_EQ(message([&] { reg.ReadText("Bin"); }), "Invalid data type for 'Bin'");

  unsigned char buf[2] = {0xAA, 0xBB};
  EXPECT_EQ(reg.ReadBytes("Missing", buf, 2), 0);
  EXPECT_EQ(buf[0], 0xAA);
  EXPECT_EQ(reg.ReadBytes("Bin", buf, 2), 2);
  EXPECT_EQ(buf[1], 0x02);
}

TEST_F(RegistryTest, ReadBytesRefusesStringsDwordsAndLongData) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
  unsigned char buf[16] = {};
  EXPECT_THROW(reg.ReadBytes("Dword", buf, 2), ERegistryException);
  EXPECT_THROW(reg.ReadBytes("Str", buf, 16), ERegistryException);
  EXPECT_THROW(reg.ReadBytes("Bin", buf, 1), ERegistryException);
  EXPECT_EQ(reg.ReadBytes("Multi", buf, 16), 10);  // an unrecognised kind reads as bytes
  EXPECT_THROW(reg.ReadBytes("Multi", buf, 9), ERegistryException);
  EXPECT_THROW(reg.ReadBytes("Short", buf, 16), ERegistryException);  // a DWORD, however short
  EXPECT_TRUE(reg.HasValue("short"));
  EXPECT_FALSE(reg.HasValue("Missing"));
}

TEST_F(RegistryTest, WritesReachTheFileOnFlushInWineForm) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\New\\Key", true));
  reg.WriteText("Text", "");
  reg.WriteText("Name", "Корзина");
  reg.WriteNumber("Num", -1);
  const unsigned char zero[2] = {0, 0};
  reg.WriteBytes("Bin", zero, 2);
  machine.Flush();
  std::string file = ReadFile(prefix.file("system.reg"));
  EXPECT_NE(file.find("\n[Software\\\\New\\\\Key] 1767225600\n"
                      "#time=1dc7ab192810000\n"
                      "\"Bin\"=hex:00,00\n"
                      "\"Name\"=\"\\x41a\\x43e\\x440\\x437\\x438\\x43d\\x430\"\n"
                      "\"Num\"=dword:ffffffff\n"
                      "\"Text\"=\"\"\n"),
            std::string::npos)
      << file;
  // Other keys are untouched, times included.
  EXPECT_NE(file.find("[Software\\\\Tree\\\\Other] 946684800\n#time=1bf53eb256d4000\n"), std::string::npos);
}

TEST_F(RegistryTest, RemoveValueAndRemoveKey) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
  EXPECT_TRUE(reg.RemoveValue("STR"));
  EXPECT_FALSE(reg.RemoveValue("Str"));
  EXPECT_FALSE(reg.HasValue("Str"));

  // Three levels of subkeys go with the key; the open key inside stays open.
  ASSERT_TRUE(reg.OpenPath("\\Software\\Tree\\L1\\L2\\L3", false));
  EXPECT_TRUE(reg.RemoveKey("\\Software\\Tree"));
  EXPECT_FALSE(reg.RemoveKey("\\Software\\Tree"));
  EXPECT_TRUE(reg.HasOpenKey());
  EXPECT_EQ(reg.ReadText("deep"), "");
  EXPECT_THROW(reg.WriteText("deep", "2"), ERegistryException);
  TRegKeyInfo info;
  EXPECT_FALSE(reg.QueryKeyCounts(info));
  EXPECT_EQ(info.NumValues, 0);
  EXPECT_FALSE(reg.OpenPath("\\Software\\Tree", false));
  EXPECT_FALSE(reg.RemoveKey("\\"));
  machine.Flush();
  EXPECT_EQ(ReadFile(prefix.file("system.reg")).find("Tree"), std::string::npos);
}

TEST_F(RegistryTest, ListsAndCountsInEnumerationOrder) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
  std::vector<std::string> names{"stale"};
  reg.ListValueNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Bin", "Dword", "Empty", "Expand", "Multi", "Nul", "Short", "Str", "Tiny", "Wide"}));
  TRegKeyInfo info;
  ASSERT_TRUE(reg.QueryKeyCounts(info));
  EXPECT_EQ(info.NumValues, 10);
  EXPECT_EQ(info.NumSubKeys, 0);
  ASSERT_TRUE(reg.OpenPath("\\Software", false));
  reg.ListSubkeys(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Classes", "Kinds", "Linked", "Tree"}));
  TRegistry closed(machine);
  closed.ListSubkeys(names);
  EXPECT_TRUE(names.empty());
}

TEST_F(RegistryTest, LinksAreFollowedWhenOpening) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\Linked", false));
  EXPECT_EQ(reg.ReadText("Str"), "text");
  reg.WriteText("ViaLink", "1");
  ASSERT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
  EXPECT_EQ(reg.ReadText("ViaLink"), "1");
  ASSERT_TRUE(reg.OpenPath("\\Software\\Linked\\Below", true));
  EXPECT_TRUE(reg.OpenPath("\\Software\\Kinds\\Below", false));
  // Removing the link removes the link, not what it points at.
  EXPECT_TRUE(reg.RemoveKey("\\Software\\Linked"));
  EXPECT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
}

TEST_F(RegistryTest, AWriteThatChangesNothingLeavesTheFileAlone) {
  ASSERT_TRUE(reg.OpenPath("\\Software\\Kinds", false));
  reg.WriteText("Str", "text");
  EXPECT_TRUE(reg.OpenPath("\\Software\\Kinds", true));
  EXPECT_FALSE(machine.hive(RootKey::LocalMachine).dirty());
  machine.Flush();
  EXPECT_EQ(ReadFile(prefix.file("system.reg")), kSystem);
}

}  // namespace
}  // namespace frambul::store
