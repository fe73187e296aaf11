// Against a real Wine, where one is installed (Debian: wine, wine64): a prefix
// that Wine made, a running wineserver, and Wine reading what the store wrote.
// Skipped on machines without Wine.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/store/inifile.h"
#include "engine/store/registry.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

std::string Wine64() {
  for (const char* p : {"/usr/lib/wine/wine64", "/usr/bin/wine64"})
    if (::access(p, X_OK) == 0) return p;
  return {};
}

std::string WineServer() {
  for (const char* p : {"/usr/lib/wine/wineserver", "/usr/bin/wineserver"})
    if (::access(p, X_OK) == 0) return p;
  return {};
}

// Runs a shell command with WINEPREFIX set; gives its standard output.
std::string Shell(const std::string& prefix, const std::string& command) {
  std::string cmd = "WINEPREFIX='" + prefix + "' WINEDEBUG=-all " + command + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return {};
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

class RealWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Wine64().empty() || WineServer().empty()) GTEST_SKIP() << "Wine is not installed";
    prefix_ = std::filesystem::temp_directory_path().string() + "/frambul-wine-" + std::to_string(::getpid());
    Shell(prefix_, Wine64() + " wineboot -i");
    Shell(prefix_, WineServer() + " -w");
    ASSERT_TRUE(std::filesystem::exists(prefix_ + "/system.reg"));
  }
  void TearDown() override {
    if (prefix_.empty()) return;
    Shell(prefix_, WineServer() + " -k");
    std::filesystem::remove_all(prefix_);
  }
  std::string prefix_;
};

TEST_F(RealWine, RefusesARunningServerAndWineReadsWhatWasWritten) {
  // Nothing changed: nothing is written.
  const std::string before = test::ReadFile(prefix_ + "/system.reg");
  { Machine(prefix_).Flush(); }
  EXPECT_EQ(test::ReadFile(prefix_ + "/system.reg"), before);

  // A persistent server holds the prefix.
  Shell(prefix_, WineServer() + " -p");
  try {
    Machine m(prefix_);
    ADD_FAILURE() << "opened a prefix on which Wine runs";
  } catch (const EMachineError& e) {
    EXPECT_EQ(e.kind(), EMachineError::Kind::WineRunning);
    EXPECT_NE(std::string(e.what()).find("wineserver -k"), std::string::npos);
  }
  Shell(prefix_, WineServer() + " -k");

  {
    Machine machine(prefix_);
    // While the machine is open, Wine cannot start on the prefix.
    EXPECT_EQ(Shell(prefix_, "timeout 30 " + Wine64() + " cmd /c echo started"), "");
    TRegistry reg(machine);
    reg.SetCurrentRoot(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenPath("\\Software\\Frambul Test\\Вложенный", true));
    reg.WriteText("Имя", "Корзина №1 \"q\" \\");
    reg.WriteNumber("Num", 1234);
    TIniFile win(machine, "Win.Ini");
    win.WriteText("windows", "load", "C:\\x.exe");  // mapped to the registry on a Wine prefix
    machine.Flush();
  }
  std::string query = Shell(prefix_, Wine64() + " reg query 'HKLM\\Software\\Frambul Test\\Вложенный'");
  EXPECT_NE(query.find("Num    REG_DWORD    0x4d2"), std::string::npos) << query;
  query = Shell(prefix_, Wine64() + " reg query 'HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows' /v load");
  EXPECT_NE(query.find("C:\\x.exe"), std::string::npos) << query;

  // Wine writes our key back exactly as we wrote it.
  const std::string ours = test::ReadFile(prefix_ + "/system.reg");
  Shell(prefix_, WineServer() + " -k");
  const std::string theirs = test::ReadFile(prefix_ + "/system.reg");
  auto block = [](const std::string& file) {
    auto at = file.find("[Software\\\\Frambul Test\\\\");
    return at == std::string::npos ? std::string() : file.substr(at, file.find("\n\n", at) - at);
  };
  EXPECT_FALSE(block(ours).empty());
  EXPECT_EQ(block(theirs), block(ours));
}

}  // namespace
}  // namespace frambul::store
