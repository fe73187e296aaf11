// Against a prefix that Wine 8 made (where Wine is installed; skipped elsewhere):
// the load finds what wineboot left, and Wine's own tools read back what OK wrote.

#include <filesystem>
#include <memory>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "startup/sources.h"
#include "support/temp_prefix.h"
#include "support/wine_tools.h"

namespace frambul::startup {
namespace {

using ::testing::HasSubstr;
using test::Wine;

// A fresh prefix lists nothing, with or without its Startup folder; after OK
// Wine's reg reads each Run key and the mapped Win.Ini lists, its attrib the hidden shortcut.
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
    for (auto [command, source, on] : {std::tuple{"C:\\ON.EXE", StartupSource::Common, true}, {"C:\\OFF.EXE", StartupSource::Common, false},
                                       {"C:\\MINE.EXE", StartupSource::Personal, true}, {"C:\\W.EXE", StartupSource::WinIni, true},
                                       {"C:\\WOFF.EXE", StartupSource::WinIni, false}}) {
      const int row = list.Add(command).row;
      list.SetSource(row, source);
      if (!on) list.Toggle(row);
    }
    SaveStartupList(reg, machine, winIni.get(), list);
    machine.Flush();
  }
  const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string lists = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  for (auto [key, line] : {std::pair{"HKLM" + run, "ON    REG_SZ    C:\\ON.EXE"}, {"HKLM" + run + "-", "OFF    REG_SZ    C:\\OFF.EXE"},
                           {"HKCU" + run, "MINE    REG_SZ    C:\\MINE.EXE"}, {lists, "Run    REG_SZ    C:\\W.EXE \r\n"},
                           {lists, "Run-    REG_SZ    C:\\WOFF.EXE \r\n"}, {lists, "Load    REG_SZ    \r\n"}})
    EXPECT_THAT(Wine(prefix, wine + "reg query '" + key + "'"), HasSubstr(line)) << key;
  const std::string shortcut = startupFolder + "\\Mail.lnk";
  EXPECT_THAT(Wine(prefix, wine + "cmd /c attrib '" + shortcut + "'"), HasSubstr("A   H        " + shortcut));
}

}  // namespace
}  // namespace frambul::startup
