// Memory that reading a registry file takes: the system.reg of a fresh Wine
// prefix is parsed once, and the program prints how much the process's peak
// resident size rose above what it held before, and how many heap bytes the
// parsed hive keeps. The peak is reset before each step through
// /proc/self/clear_refs, so memory touched earlier (reading the file) does
// not hide the step's own peak.
//
// Usage: hive_memory [FILE]   (a plain registry file; default: the Wine sample)

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

double HeapInUseMib() { return static_cast<double>(::mallinfo2().uordblks) / (1024.0 * 1024.0); }

double Mib(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
  using frambul::store::Hive;
  const std::string text = argc > 1 ? frambul::bench::ReadFile(argv[1]) : frambul::bench::WineSystemReg();
  std::unique_ptr<Hive> hive;
  const double heapBefore = HeapInUseMib();
  const double rssParse = PeakGrowthMib([&] { hive = Hive::Parse(text, "system.reg", 1); });
  const double heapHive = HeapInUseMib() - heapBefore;

  std::string out;
  const double rssWrite = PeakGrowthMib([&] { out = hive->Write(); });

  std::printf("file:                          %8.2f MiB\n", Mib(text.size()));
  std::printf("heap held by the parsed hive:  %8.2f MiB (%.1f x the file)\n", heapHive, heapHive / Mib(text.size()));
  std::printf("peak RSS growth while parsing: %8.2f MiB\n", rssParse);
  std::printf("peak RSS growth while writing: %8.2f MiB (output %.2f MiB)\n", rssWrite, Mib(out.size()));
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS of the whole run:     %8.2f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return out.size() == text.size() ? 0 : 1;
}
