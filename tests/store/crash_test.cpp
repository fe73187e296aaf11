// Kills a child that applies changes to both hives and the boot file at random moments of its flush, many times
// (FRAMBUL_CRASH_KILLS, 30 by default): each file is then its old or its new version whole, and the next open
// leaves no temporary file behind.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/store/inifile.h"
#include "engine/store/registry.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

namespace fs = std::filesystem;

// What OK does to the machine: a value in each hive, three boot switches, then the flush.
void Apply(Machine& machine) {
  TRegistry reg(machine);
  reg.SetCurrentRoot(RootKey::LocalMachine);
  if (!reg.OpenPath("\\Software\\Frambul Crash", true)) std::abort();
  reg.WriteText("Value", "new");
  reg.SetCurrentRoot(RootKey::CurrentUser);
  if (!reg.OpenPath("\\Control Panel\\Desktop", true)) std::abort();
  reg.WriteText("MenuShowDelay", "123");
  TIniFile boot(machine, "C:\\MSDOS.Sys");
  boot.WriteText("Options", "BootGUI", "0");
  boot.WriteText("Options", "Logo", "0");
  boot.RemoveKey("Options", "BootMulti");
}

// The temporary files of replacements in the folders the apply writes to.
int Temporaries(const test::TempPrefix& prefix) {
  int count = 0;
  for (const std::string& dir : {prefix.path(), prefix.file("drive_c")})
    for (const auto& entry : fs::directory_iterator(dir))
      count += entry.path().filename().string().find(".new-") != std::string::npos;
  return count;
}

// Every file whole, old or new, after each kill; the counts of each outcome are printed.
TEST(Crash, AKilledApplyLeavesEachFileOldOrNewWholeAndTheNextOpenNoTemporaryFile) {
  // A registry of Wine's own size, so that the flush takes a while to hit.
  const std::string samples = std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/";
  test::TempPrefix prefix(test::ReadGzip(samples + "system.reg.gz"), test::ReadGzip(samples + "user.reg.gz"));
  const std::string files[] = {prefix.file("system.reg"), prefix.file("user.reg"), prefix.file("drive_c/MSDOS.SYS")};
  test::WriteFile(files[2], "[Options]\r\nBootGUI=1\r\nBootMulti=1\r\n" + std::string(1024, ';') + "\r\n");
  auto contents = [&] {
    std::array<std::string, 3> now;
    for (int i = 0; i < 3; ++i) now[i] = test::ReadFile(files[i]);
    return now;
  };
  const auto before = contents();

  // Runs the apply in a child, kills it `killAfter` into its flush (never when negative); gives the time taken.
  auto run = [&](std::chrono::microseconds killAfter) {
    int ready[2];
    if (::pipe(ready) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
      Machine machine(prefix.path(), MachineOptions{nullptr, test::FixedClock});
      Apply(machine);
      if (::write(ready[1], "r", 1) != 1) ::_exit(2);
      machine.Flush(FlushMode::Retry);
      ::_exit(0);
    }
    ::close(ready[1]);
    char byte;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    const auto start = std::chrono::steady_clock::now();
    if (killAfter.count() >= 0) {
      std::this_thread::sleep_for(killAfter);
      ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, nullptr, 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  };

  const auto flushTime = run(std::chrono::microseconds(-1));
  const auto after = contents();
  for (int i = 0; i < 3; ++i) ASSERT_NE(after[i], before[i]) << files[i];

  std::mt19937 random(20260101);
  std::uniform_int_distribution<long> moment(0, flushTime.count() * 5 / 4);
  int allOld = 0, mixed = 0, allNew = 0, leftTemporaries = 0;
  const char* killsText = std::getenv("FRAMBUL_CRASH_KILLS");
  const int kills = killsText && std::atoi(killsText) > 0 ? std::atoi(killsText) : 30;
  for (int k = 0; k < kills; ++k) {
    for (int i = 0; i < 3; ++i) test::WriteFile(files[i], before[i]);
    run(std::chrono::microseconds(moment(random)));
    const auto now = contents();
    int fresh = 0;
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(now[i] == before[i] || now[i] == after[i]) << files[i] << " torn by kill " << k;
      fresh += now[i] == after[i];
    }
    (fresh == 0 ? allOld : fresh == 3 ? allNew : mixed)++;
    leftTemporaries += Temporaries(prefix) > 0;
    { Machine reopened(prefix.path()); }
    EXPECT_EQ(Temporaries(prefix), 0) << "after kill " << k;
  }
  std::printf("%d kills in a flush of %ld us: %d left all files old, %d a mix of whole files, %d all new; "
              "%d left temporary files, removed by the next open\n",
              kills, static_cast<long>(flushTime.count()), allOld, mixed, allNew, leftTemporaries);
}

}  // namespace
}  // namespace frambul::store
