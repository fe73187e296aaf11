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

TEST(RealWine, LoadsAFreshPrefixAndWineReadsBackWhatOkWrote) {
  const test::WineTools tools = test::FindWine();
  if (!tools) GTEST_SKIP() << "no Wine";
  const std::string &wine = tools.wine, &server = tools.server;
  test::TempPrefix temp;
  const std::string prefix = temp.file("wine");
  std::shared_ptr<void> stopServerAtEnd(nullptr, [&](void*) { Wine(prefix, server + " -k"); });
  Wine(prefix, wine + " wineboot -i");
  Wine(prefix, server + " -w");
  std::string startupFolder;
  {
    store::Machine machine(prefix);
    store::TRegistry reg(machine);
    StartupList list;
    std::unique_ptr<store::TIniFile> winIni;
    // A fresh prefix starts nothing, whether its Startup folder exists or not.
    ASSERT_TRUE(reg.OpenPath("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false));
    startupFolder = reg.ReadText("Startup");
    EXPECT_THAT(startupFolder, HasSubstr("\\Start Menu\\Programs\\StartUp"));
    const std::string host = machine.HostPath(startupFolder);
    for (bool folder : {true, false}) {
      if (!folder) std::filesystem::remove(host);
      LoadStartupList(reg, machine, list, winIni);
      EXPECT_TRUE(list.Complete() && list.PageEnabled() && list.size() == 0) << list.size();
    }
    std::filesystem::create_directories(host);
    test::WriteFile(host + "/Mail.lnk", "shortcut");

    LoadStartupList(reg, machine, list, winIni);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.At(0)->Name + "|" + list.At(0)->CommandLine, "Mail|Mail.lnk");
    list.Toggle(0);
    list.Add("C:\\ON.EXE");
    list.Toggle(list.Add("C:\\OFF.EXE").row);
    list.SetSource(list.Add("C:\\MINE.EXE").row, StartupSource::Personal);
    list.SetSource(list.Add("C:\\W.EXE").row, StartupSource::WinIni);
    const int off = list.Add("C:\\WOFF.EXE").row;
    list.SetSource(off, StartupSource::WinIni);
    list.Toggle(off);
    SaveStartupList(reg, machine, winIni.get(), list);
    machine.Flush();
  }
  const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_THAT(Wine(prefix, wine + " reg query 'HKLM" + run + "'"), HasSubstr("ON    REG_SZ    C:\\ON.EXE"));
  EXPECT_THAT(Wine(prefix, wine + " reg query 'HKLM" + run + "-'"), HasSubstr("OFF    REG_SZ    C:\\OFF.EXE"));
  EXPECT_THAT(Wine(prefix, wine + " reg query 'HKCU" + run + "'"), HasSubstr("MINE    REG_SZ    C:\\MINE.EXE"));
  const std::string lists = Wine(prefix, wine + " reg query 'HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows'");
  EXPECT_THAT(lists, HasSubstr("Run    REG_SZ    C:\\W.EXE \r\n"));
  EXPECT_THAT(lists, HasSubstr("Run-    REG_SZ    C:\\WOFF.EXE \r\n"));
  EXPECT_THAT(lists, HasSubstr("Load    REG_SZ    \r\n"));
  // Wine's own attrib sees the shortcut hidden.
  const std::string shortcut = startupFolder + "\\Mail.lnk";
  EXPECT_THAT(Wine(prefix, wine + " cmd /c attrib '" + shortcut + "'"), HasSubstr("A   H        " + shortcut));
}

}  // namespace
}  // namespace frambul::startup
