// Memory that reading a registry file takes: the system.reg of a fresh Wine
// prefix and its copies 10 and 30 times as big are each parsed once, and the
// program prints how many heap bytes the parsed hive keeps per byte of the
// file, and how far the process's peak resident size rose above what it held
// before parsing and before writing. The peak is reset before each step
// through /proc/self/clear_refs, so memory touched earlier (reading the file)
// does not hide the step's own peak.
//
// Usage: hive_memory [FILE...]   (plain registry files; default: the Wine sample and its copies)

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "engine/store/hive.h"
#include "sample_files.h"

namespace {

// A "VmRSS:"-style line of /proc/self/status, in MiB.
double StatusMib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::strtod(line.c_str() + std::strlen(field), nullptr) / 1024.0;
  return 0;
}

// Starts a new peak (VmHWM) at the present resident size; false where the
// kernel does not allow it.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// How far the resident size rises above its present level while `step` runs.
template <typename Step>
double PeakGrowthMib(Step step) {
  ::malloc_trim(0);  // give freed memory back, so that the present level is what is live
  const double before = StatusMib("VmRSS:");
  if (!ResetPeak()) std::fprintf(stderr, "warning: the peak cannot be reset; figures include earlier peaks\n");
  step();
  return StatusMib("VmHWM:") - before;
}

// Heap bytes in use, the large blocks malloc maps on their own included.
double HeapInUseMib() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

double Mib(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// Parses and writes one file's text; prints one row of figures. False when
// the text written differs from the text read.
bool Measure(const std::string& name, const std::string& text) {
  using frambul::store::Hive;
  std::unique_ptr<Hive> hive;
  const double heapBefore = HeapInUseMib();
  const double rssParse = PeakGrowthMib([&] { hive = Hive::Parse(text, "system.reg", 1); });
  const double heapHive = HeapInUseMib() - heapBefore;
  std::string out;
  const double rssWrite = PeakGrowthMib([&] { out = hive->Write(); });
  std::printf("%-14s %9.2f %9.2f %6.2f %12.2f %12.2f\n", name.c_str(), Mib(text.size()), heapHive,
              heapHive / Mib(text.size()), rssParse, rssWrite);
  return out == text;
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("%-14s %9s %9s %6s %12s %12s\n", "", "file MiB", "heap MiB", "x file", "parse peak", "write peak");
  bool same = true;
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) same = Measure(argv[i], frambul::bench::ReadFile(argv[i])) && same;
  } else {
    for (int copies : {1, 10, 30})
      same = Measure("system.reg x" + std::to_string(copies), frambul::bench::WineSystemReg(copies)) && same;
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS of the whole run: %.2f MiB (peaks: MiB above the level before the step)\n",
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  if (!same) std::fprintf(stderr, "error: a text written differs from the text read\n");
  return same ? 0 : 1;
}
