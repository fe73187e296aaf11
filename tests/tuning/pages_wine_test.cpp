// Against a prefix that Wine 8 made (where Wine is installed; skipped elsewhere): Wine's own "reg" reads the
// network values that OK wrote and no longer sees the uninstall entries that a removal took, and system.ini
// keeps every other line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/cycle.h"
#include "support/temp_prefix.h"
#include "support/wine_tools.h"
#include "tuning/disk_cache.h"
#include "tuning/tcpip.h"
#include "uninstall/uninstall_list.h"

namespace frambul::tuning {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kUninstall = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

TEST(RealWine, WineReadsWhatOkAndARemovalWrote) {
  const test::WineTools tools = test::FindWine();
  if (!tools) GTEST_SKIP() << "no Wine";
  test::TempPrefix temp;
  const std::string prefix = temp.file("wine");
  // Each command waits for the server to end, which frees the prefix again.
  auto wine = [&](const std::string& command) {
    std::string out = test::Wine(prefix, tools.wine + " " + command);
    test::Wine(prefix, tools.server + " -w");
    return out;
  };
  std::shared_ptr<void> stopServerAtEnd(nullptr, [&](void*) { test::Wine(prefix, tools.server + " -k"); });
  wine("wineboot -i");

  // A fresh prefix has no binding and no uninstall entries: give it some.
  std::string systemIni;
  {
    store::Machine machine(prefix);
    systemIni = machine.HostPath("System.Ini");
    store::TRegistry reg(machine);
    reg.SetCurrentRoot(store::RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenPath("\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000", true));
    reg.WriteText("DriverDesc", "TCP/IP");
    for (const char* name : {"Old\\Parts", "Old", "Kept"}) {
      ASSERT_TRUE(reg.OpenPath(kUninstall + "\\" + name, true));
      reg.WriteText("DisplayName", name);
    }
    machine.Flush();
  }
  const std::string ini = test::ReadFile(systemIni);

  // The removal of "Old" with its subkey, then the network values and a cache limit by OK.
  {
    store::Machine machine(prefix);
    engine::MainForm form;
    engine::LoadApplyCycle cycle(machine, form);
    cycle.FormCreate();
    form.UninstallLst.Selected = {false, true};  // "Kept", "Old"
    uninstall::BitBtn7Click(*cycle.Registry(), form);
    form.MTUEdt.Text = "1400";
    form.RWINEdt.Text = "5440";
    TTLCbxChange(form, 1);
    SetCachePosition(form, form.MaxCacheTrk, 20);
    cycle.OkBtnClick();
    machine.Flush();
  }
  const std::string entries = wine("reg query 'HKLM" + kUninstall + "' /s");
  EXPECT_THAT(entries, AllOf(HasSubstr("\\Uninstall\\Kept"), Not(HasSubstr("\\Uninstall\\Old"))));
  EXPECT_THAT(wine("reg query 'HKLM\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000' /v MaxMTU"),
              HasSubstr("MaxMTU    REG_SZ    1400"));
  const std::string stack = wine("reg query 'HKLM\\System\\CurrentControlSet\\Services\\VxD\\MSTCP'");
  EXPECT_THAT(stack, AllOf(HasSubstr("DefaultRcvWindow    REG_SZ    5440"), HasSubstr("DefaultTTL    REG_SZ    64")));
  EXPECT_EQ(test::ReadFile(systemIni), ini + "\r\n[VCache]\r\nMaxFileCache=10240\r\n");
}

}  // namespace
}  // namespace frambul::tuning
