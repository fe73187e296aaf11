// Against a prefix that Wine 8 made (where Wine is installed; skipped elsewhere):
// the load finds what wineboot left, and Wine's own tools read back what OK wrote.

#include <filesystem>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "startup/sources.h"
#include "support/temp_prefix.h"
#include "support/wine_tools.h"

namespace frambul::startup {
namespace {

using ::testing::HasSubstr;
using test::Wine;

// A fresh prefix lists nothing; after OK Wine's reg reads an entry of each
// registry source and of the mapped Win.Ini, its attrib the hidden shortcut.
TEST(RealWine, LoadsAFreshPrefixAndWineReadsBackWhatOkWrote) {
  const test::WineTools tools = test::FindWine();
  if (!tools) GTEST_SKIP() << "no Wine";
  test::TempPrefix temp;
  const std::string prefix = temp.file("wine"), wine = tools.wine + " ";
  std::shared_ptr<void> stopServerAtEnd(nullptr, [&](void*) { Wine(prefix, tools.server + " -k"); });
  Wine(prefix, wine + "wineboot -i");
  Wine(prefix, tools.server + " -w");
  std::string startupFolder;
  {
    store::Machine machine(prefix);
    store::TRegistry reg(machine);
    StartupList list;
    std::unique_ptr<store::TIniFile> winIni;
    ASSERT_TRUE(reg.OpenPath("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false));
    startupFolder = reg.ReadText("Startup");
    EXPECT_THAT(startupFolder, HasSubstr("\\Start Menu\\Programs\\StartUp"));
    LoadStartupList(reg, machine, list, winIni);
    EXPECT_TRUE(list.Complete() && list.PageEnabled() && list.size() == 0) << list.size();
    const std::string host = machine.HostPath(startupFolder);
    std::filesystem::create_directories(host);
    test::WriteFile(host + "/Mail.lnk", "shortcut");

    LoadStartupList(reg, machine, list, winIni);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.At(0)->Name + "|" + list.At(0)->CommandLine, "Mail|Mail.lnk");
    list.Toggle(0);
    list.Add("C:\\ON.EXE");
    for (auto [command, source] : {std::pair{"C:\\MINE.EXE", StartupSource::Personal}, {"C:\\W.EXE", StartupSource::WinIni}})
      list.SetSource(list.Add(command).row, source);
    SaveStartupList(reg, machine, winIni.get(), list);
    machine.Flush();
  }
  const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string lists = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  for (auto [key, line] : {std::pair{"HKLM" + run, "ON    REG_SZ    C:\\ON.EXE"}, {"HKCU" + run, "MINE    REG_SZ    C:\\MINE.EXE"},
                           {lists, "Run    REG_SZ    C:\\W.EXE \r\n"}})
    EXPECT_THAT(Wine(prefix, wine + "reg query '" + key + "'"), HasSubstr(line)) << key;
  const std::string shortcut = startupFolder + "\\Mail.lnk";
  EXPECT_THAT(Wine(prefix, wine + "cmd /c attrib '" + shortcut + "'"), HasSubstr("A   H        " + shortcut));
}

}  // namespace
}  // namespace frambul::startup
