// Speed of the store on real files: the registry parser and writer on the
// system.reg of a fresh Wine prefix and on copies 10 and 30 times its size,
// beside memchr walking the same bytes line by line; one profile file edit, a
// whole open-write-flush cycle on the sample Windows 98 machine, and the main
// window's load and apply without the widgets.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/cycle.h"
#include "engine/store/hive.h"
#include "engine/store/ini_document.h"
#include "engine/store/machine.h"
#include "engine/store/registry.h"
#include "sample_files.h"
#include "support/temp_prefix.h"

namespace frambul::bench {
namespace {

namespace fs = std::filesystem;
using store::Hive;

// 2026-01-01 00:00:00 UTC as FILETIME, for keys that carry no time.
constexpr int64_t kNow = 1767225600LL * store::kTicksPerSecond + store::kTicks1601To1970;

// The machine that runs these shares its processors, so the figures to quote
// are the fastest of several repetitions: "min" of the times, "max" of the rates.
void Best(benchmark::internal::Benchmark* b) {
  b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
  b->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

const std::string& SystemReg() {
  static const std::string text = WineSystemReg();
  return text;
}

// The sample system.reg, or a copy `state.range(0)` times its size.
const std::string& SystemReg(const benchmark::State& state) {
  static std::string copies[2];
  const int64_t n = state.range(0);
  if (n == 1) return SystemReg();
  std::string& text = copies[n == 10 ? 0 : 1];
  if (text.empty()) text = WineSystemReg(static_cast<int>(n));
  return text;
}

// The hive sizes measured: the sample, 10 and 30 times as big.
void Sizes(benchmark::internal::Benchmark* b) { b->ArgName("copies")->Arg(1)->Arg(10)->Arg(30); }

// Heap bytes in use, the large blocks malloc maps on their own included.
double HeapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

// The reference: what finding the line ends alone costs, in the same run.
void BM_Memchr(benchmark::State& state) {
  const std::string& text = SystemReg(state);
  for (auto _ : state) {
    size_t lines = 0;
    for (const char *p = text.data(), *end = p + text.size(); p < end; ++lines) {
      const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
      p = nl ? static_cast<const char*>(nl) + 1 : end;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Memchr)->Apply(Sizes)->Apply(Best)->Unit(benchmark::kMillisecond);

// Reading a hive; `heap_per_byte` is the heap the parsed hive holds per byte of the file.
void BM_HiveParse(benchmark::State& state) {
  const std::string& text = SystemReg(state);
  double heap;
  {
    const double before = HeapInUse();
    const std::unique_ptr<Hive> hive = Hive::Parse(text, "system.reg", kNow);
    heap = HeapInUse() - before;
  }
  for (auto _ : state) {
    std::unique_ptr<Hive> hive = Hive::Parse(text, "system.reg", kNow);
    benchmark::DoNotOptimize(hive.get());
    // Freeing the tree is not part of reading it.
    state.PauseTiming();
    hive.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
  state.counters["heap_per_byte"] = heap / static_cast<double>(text.size());
}
BENCHMARK(BM_HiveParse)->Apply(Sizes)->Apply(Best)->Unit(benchmark::kMillisecond);

// The same with the freed memory given back to the system after each read, so
// that each read makes its pages afresh, as the one read of a hive at the
// program's start does.
void BM_HiveParseFreshPages(benchmark::State& state) {
  const std::string& text = SystemReg(state);
  for (auto _ : state) {
    std::unique_ptr<Hive> hive = Hive::Parse(text, "system.reg", kNow);
    benchmark::DoNotOptimize(hive.get());
    state.PauseTiming();
    hive.reset();
    ::malloc_trim(0);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HiveParseFreshPages)->Apply(Sizes)->Apply(Best)->Unit(benchmark::kMillisecond);

// Reading and freeing together, as opening a machine and closing it costs.
void BM_HiveParseAndFree(benchmark::State& state) {
  const std::string& text = SystemReg(state);
  for (auto _ : state) {
    std::unique_ptr<Hive> hive = Hive::Parse(text, "system.reg", kNow);
    benchmark::DoNotOptimize(hive.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HiveParseAndFree)->Apply(Sizes)->Apply(Best)->Unit(benchmark::kMillisecond);

void BM_HiveWrite(benchmark::State& state) {
  const std::string& text = SystemReg(state);
  std::unique_ptr<Hive> hive = Hive::Parse(text, "system.reg", kNow);
  std::string out;
  for (auto _ : state) {
    out = hive->Write();
    benchmark::DoNotOptimize(out.data());
  }
  if (out != text) state.SkipWithError("the written text differs from the file read");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HiveWrite)->Apply(Sizes)->Apply(Best)->Unit(benchmark::kMillisecond);

// One setting changed in WIN.INI: read the file, set a key, make the new bytes.
void BM_IniSetKey(benchmark::State& state) {
  const std::string bytes = ReadFile(Win98Sample() + "/drive_c/WINDOWS/WIN.INI");
  for (auto _ : state) {
    store::IniDocument doc = store::IniDocument::Parse(bytes, 1251);
    if (!doc.Set("windows", "ScreenSaveTimeOut", "900")) {
      state.SkipWithError("Set refused");
      break;
    }
    std::string out = doc.Serialize();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_IniSetKey)->Apply(Best)->Unit(benchmark::kMicrosecond);

// A copy of the sample machine in a temporary folder, removed at the end.
class SamplePrefix {
 public:
  SamplePrefix() {
    std::string pattern = (fs::temp_directory_path() / "frambul-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
    for (const char* item : {"system.reg", "user.reg", "dosdevices", "drive_c"})
      fs::copy(fs::path(Win98Sample()) / item, fs::path(path_) / item,
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  ~SamplePrefix() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  SamplePrefix(const SamplePrefix&) = delete;
  SamplePrefix& operator=(const SamplePrefix&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// What the window does first: open the machine (both hives read, the checks
// for a running Wine), on the sample machine holding the registry of a fresh
// Wine prefix, its system.reg `copies` times over, as bench/big_machine.sh
// makes it; then close it.
void BM_MachineOpen(benchmark::State& state) {
  SamplePrefix prefix;
  test::WriteFile(prefix.path() + "/system.reg", SystemReg(state));
  test::WriteFile(prefix.path() + "/user.reg", test::ReadGzip(std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/user.reg.gz"));
  for (auto _ : state) {
    store::Machine machine(prefix.path());
    benchmark::DoNotOptimize(&machine);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(SystemReg(state).size()));
}
BENCHMARK(BM_MachineOpen)->Apply(Sizes)->Apply(Best)->Unit(benchmark::kMillisecond);

// What one press of OK costs at least: open the machine (both hives read),
// write one value through TRegistry, and write the changed hive back to disk
// (atomic replace with fsync).
void BM_MachineOpenWriteFlush(benchmark::State& state) {
  SamplePrefix prefix;
  int32_t counter = 0;
  for (auto _ : state) {
    store::Machine machine(prefix.path(), store::MachineOptions{nullptr, [] { return kNow; }});
    store::TRegistry reg(machine);
    reg.SetCurrentRoot(store::RootKey::LocalMachine);
    if (!reg.OpenPath("\\System\\CurrentControlSet\\Services\\VxD\\MSTCP", true)) {
      state.SkipWithError("OpenPath failed");
      break;
    }
    reg.WriteNumber("BenchCounter", ++counter);  // a new number each time, so the hive is always dirty
    machine.Flush();
  }
}
BENCHMARK(BM_MachineOpenWriteFlush)->Apply(Best)->Unit(benchmark::kMillisecond);

// The window's load without the widgets: open the machine, run the load and
// write what it changed. With `applyAll`, the heaviest OK follows: both groups
// touched on a machine whose system.reg is the 1.7 MB one of a fresh Wine
// prefix, so the boot file and both hives are written.
void BM_Window(benchmark::State& state, bool applyAll) {
  SamplePrefix prefix;
  if (applyAll) test::WriteFile(prefix.path() + "/system.reg", SystemReg());
  for (auto _ : state) {
    store::Machine machine(prefix.path(), store::MachineOptions{nullptr, [] { return kNow; }});
    engine::MainForm form;
    engine::LoadApplyCycle cycle(machine, form);
    cycle.FormCreate();
    machine.Flush();
    if (!applyAll) continue;
    form.ShortCutChk.Tag = 1;
    form.LogoChk.Tag = 1;
    cycle.OkBtnClick();
  }
}
BENCHMARK_CAPTURE(BM_Window, Load, false)->Apply(Best)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Window, LoadAndApplyAll, true)->Apply(Best)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace frambul::bench

// Left to itself, malloc gives freed memory back to the system or keeps it
// depending on the sizes it has seen freed so far, so that a benchmark's figure
// would depend on the benchmarks run before it. Here it keeps what it was
// given: every benchmark runs on memory already mapped, except the one that
// gives the pages back on purpose.
int main(int argc, char** argv) {
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the most it takes
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
