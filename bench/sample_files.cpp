#include "sample_files.h"

#include "support/temp_prefix.h"

namespace frambul::bench {

std::string WineSystemReg(int copies) {
  if (copies == 1) return test::ReadGzip(std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/system.reg.gz");
  return test::ReadFile(std::string(FRAMBUL_BIG_HIVES) + "/system-x" + std::to_string(copies) + ".reg");
}

std::string ReadFile(const std::string& path) { return test::ReadFile(path); }

std::string Win98Sample() { return std::string(FRAMBUL_SOURCE_DIR) + "/samples/win98"; }

}  // namespace frambul::bench
