// Against Wine: the hives of a Wine 8 prefix and, where Wine is installed (Debian: wine, wine64), a prefix
// that Wine made, a running wineserver (also one under another TMPDIR) and Wine reading what the store wrote.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/store/inifile.h"
#include "engine/store/registry.h"
#include "support/temp_prefix.h"
#include "support/wine_tools.h"

namespace frambul::store {
namespace {

using test::ReadFile;
using test::Wine;
using ::testing::HasSubstr;

// Files Wine wrote come back identical to the byte when nothing changed.
TEST(WineFiles, RoundTripByteForByte) {
  for (const char* name : {"system.reg.gz", "user.reg.gz", "userdef.reg.gz"}) {
    const std::string text = test::ReadGzip(std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/" + name);
    EXPECT_TRUE(Hive::Parse(text, name, test::FixedClock())->Write() == text) << name;
  }
}

// A running server refuses the open, Wine cannot start beside an open machine, Wine reads and keeps what we wrote.
TEST(RealWine, RefusesARunningServerAndWineReadsWhatWasWritten) {
  const test::WineTools tools = test::FindWine();
  if (!tools) GTEST_SKIP() << "no Wine";
  const std::string &wine = tools.wine, &server = tools.server;
  test::TempPrefix temp;
  const std::string prefix = temp.file("wine");
  // Another TMPDIR puts the server's folder where this program cannot guess it.
  const std::string elsewhere = "TMPDIR='" + temp.file("other-tmp") + "' ";
  ::mkdir(temp.file("other-tmp").c_str(), 0700);
  std::shared_ptr<void> stopServerAtEnd(nullptr, [&](void*) {
    Wine(prefix, server + " -k");
    Wine(prefix, elsewhere + server + " -k");
  });
  Wine(prefix, wine + " wineboot -i");
  Wine(prefix, server + " -w");  // until the new prefix is on disk
  Wine(prefix, server + " -p");  // a persistent server holds the prefix
  EXPECT_THAT([&] { Machine m(prefix); }, ::testing::Throws<EMachineError>(::testing::Property(
                                               &EMachineError::kind, EMachineError::Kind::WineRunning)));
  Wine(prefix, server + " -k");
  {
    Machine machine(prefix);
    EXPECT_EQ(Wine(prefix, "timeout 30 " + wine + " cmd /c echo started"), "");  // Wine cannot start under it
    TRegistry reg(machine);
    reg.SetCurrentRoot(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenPath("\\Software\\Frambul Test\\Вложенный", true));
    reg.WriteText("Имя", "Корзина №1 \"q\" \\");
    reg.WriteNumber("Num", 1234);
    TIniFile(machine, "Win.Ini").WriteText("windows", "load", "C:\\x.exe");  // mapped to the registry
    machine.Flush();
  }
  auto query = [&](const std::string& key) { return Wine(prefix, wine + " reg query '" + key + "'"); };
  EXPECT_THAT(query("HKLM\\Software\\Frambul Test\\Вложенный"), HasSubstr("Num    REG_DWORD    0x4d2"));
  EXPECT_THAT(query("HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"), HasSubstr("C:\\x.exe"));

  // Wine writes our key back exactly as we wrote it.
  auto block = [&] {
    const std::string file = ReadFile(prefix + "/system.reg");
    const size_t at = file.find("[Software\\\\Frambul Test\\\\");
    return at == std::string::npos ? std::string() : file.substr(at, file.find("\n\n", at) - at);
  };
  const std::string ours = block();
  Wine(prefix, server + " -k");
  EXPECT_FALSE(ours.empty());
  EXPECT_EQ(block(), ours);

  // A server under another TMPDIR, started before the machine opens or while it is open, is found all the same.
  Wine(prefix, elsewhere + server + " -p");
  EXPECT_THAT([&] { Machine m(prefix); }, ::testing::Throws<EMachineError>());
  Wine(prefix, elsewhere + server + " -k");
  {
    Machine machine(prefix);
    Wine(prefix, elsewhere + server + " -p");
    TRegistry reg(machine);
    ASSERT_TRUE(reg.OpenPath("\\Control Panel\\Desktop", false));
    reg.WriteText("MenuShowDelay", "123");
    EXPECT_THROW(machine.Flush(), EMachineError);
    Wine(prefix, elsewhere + server + " -k");
    machine.Flush(FlushMode::Retry);
  }
  EXPECT_THAT(ReadFile(prefix + "/user.reg"), HasSubstr("\"MenuShowDelay\"=\"123\""));
}

}  // namespace
}  // namespace frambul::store
