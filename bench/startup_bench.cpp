// Speed of the startup list's load and save with 2,000 entries spread over the
// four sources: 500 in each root's Run and Run- keys, 400 Startup folder files
// (a quarter hidden), 600 programs in the three Win.Ini lists. The reference,
// measured in the same run, is Hive::Parse of the same two hive files.

#include <benchmark/benchmark.h>

#include <sys/xattr.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/store/hive.h"
#include "startup/sources.h"
#include "support/temp_prefix.h"

namespace frambul::bench {
namespace {

constexpr int64_t kNow = 1767225600LL * store::kTicksPerSecond + store::kTicks1601To1970;
const std::string kFolder = "drive_c/WINDOWS/Start Menu/Programs/StartUp/";

void Best(benchmark::internal::Benchmark* b) {
  b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// A key with `count` values named and holding programs numbered from `first`.
std::string RunKey(const std::string& path, int first, int count) {
  std::string text = "\n[" + path + "] 946684800\n#time=1bf53eb256d4000\n";
  char line[96];
  for (int i = first; i < first + count; ++i) {
    std::snprintf(line, sizeof line, "\"Program %04d\"=\"C:\\\\Program Files\\\\P%04d\\\\P%04d.EXE /min\"\n", i, i, i);
    text += line;
  }
  return text;
}

// A Win.Ini list of 200 programs of nine characters: 2,000 characters, just
// under the profile reader's limit.
std::string WinIniList(int first) {
  std::string text;
  char token[16];
  for (int i = first; i < first + 200; ++i) text += (std::snprintf(token, sizeof token, "P%04d.EXE ", i), token);
  return text;
}

// The machine with its 2,000 entries, opened.
struct BigMachine {
  BigMachine()
      : prefix("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n" +
                   RunKey(R"(Software\\Microsoft\\Windows\\CurrentVersion\\Run)", 0, 250) +
                   RunKey(R"(Software\\Microsoft\\Windows\\CurrentVersion\\Run-)", 250, 250) +
                   "\n[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 946684800\n"
                   "#time=1bf53eb256d4000\n\"ACP\"=\"1251\"\n",
               "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
               "#arch=win32\n" +
                   RunKey(R"(Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders)", 0, 0) +
                   "\"Startup\"=\"C:\\\\WINDOWS\\\\Start Menu\\\\Programs\\\\StartUp\"\n" +
                   RunKey(R"(Software\\Microsoft\\Windows\\CurrentVersion\\Run)", 500, 250) +
                   RunKey(R"(Software\\Microsoft\\Windows\\CurrentVersion\\Run-)", 750, 250)) {
    test::WriteFile(prefix.file("drive_c/WINDOWS/WIN.INI"), "[windows]\r\nload=" + WinIniList(1000) + "\r\nrun=" +
                                                                WinIniList(1200) + "\r\nrun-=" + WinIniList(1400) +
                                                                "\r\n");
    std::filesystem::create_directories(prefix.file(kFolder));
    for (int i = 0; i < 400; ++i) {
      const std::string file = prefix.file(kFolder + "Программа " + std::to_string(i) + ".lnk");
      test::WriteFile(file, "shortcut");
      if (i % 4 == 0) ::setxattr(file.c_str(), "user.DOSATTRIB", "0x2", 3, 0);
    }
    machine = std::make_unique<store::Machine>(prefix.path());
    registry = std::make_unique<store::TRegistry>(*machine);
  }

  test::TempPrefix prefix;
  std::unique_ptr<store::Machine> machine;
  std::unique_ptr<store::TRegistry> registry;
};

void BM_StartupLoad(benchmark::State& state) {
  BigMachine m;
  startup::StartupList list;
  std::unique_ptr<store::TIniFile> winIni;
  for (auto _ : state) {
    startup::LoadStartupList(*m.registry, *m.machine, list, winIni);
    benchmark::DoNotOptimize(list.Entries().data());
  }
  if (list.size() != 2000 || !list.Complete()) state.SkipWithError("the list does not hold the 2,000 entries");
}
BENCHMARK(BM_StartupLoad)->Apply(Best)->Unit(benchmark::kMillisecond);

// Every save moves every registry and Win.Ini entry, and with `folder` every
// Startup folder file too: the list as loaded and the list with those entries
// toggled take turns. With `flush` the files reach the disk, as after OK.
void BM_StartupSave(benchmark::State& state) {
  const bool folder = state.range(0) != 0, flush = state.range(1) != 0;
  BigMachine m;
  startup::StartupList lists[2];
  std::unique_ptr<store::TIniFile> winIni;
  startup::LoadStartupList(*m.registry, *m.machine, lists[0], winIni);
  lists[1] = lists[0];
  for (int row = 0; row < lists[1].size(); ++row)
    if (folder || lists[1].At(row)->Source != startup::StartupSource::Menu) lists[1].Toggle(row);
  size_t turn = 0;
  for (auto _ : state) {
    startup::SaveStartupList(*m.registry, *m.machine, winIni.get(), lists[turn++ % 2]);
    if (flush) m.machine->Flush();
  }
}
BENCHMARK(BM_StartupSave)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"folder", "flush"})->Apply(Best)->Unit(benchmark::kMillisecond);

// The reference: reading the same two hive files.
void BM_HiveParseOfTheSameHives(benchmark::State& state) {
  BigMachine m;
  const std::string system = test::ReadFile(m.prefix.file("system.reg")), user = test::ReadFile(m.prefix.file("user.reg"));
  for (auto _ : state) {
    auto a = store::Hive::Parse(system, "system.reg", kNow);
    auto b = store::Hive::Parse(user, "user.reg", kNow);
    benchmark::DoNotOptimize(a.get());
    benchmark::DoNotOptimize(b.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(system.size() + user.size()));
}
BENCHMARK(BM_HiveParseOfTheSameHives)->Apply(Best)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace frambul::bench

BENCHMARK_MAIN();
