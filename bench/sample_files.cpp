#include "sample_files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace frambul::bench {

namespace {

// The text of a gzip file, through the gzip program.
std::string ReadGzip(const std::string& path) {
  std::string cmd = "gzip -dc '" + path + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run gzip");
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (::pclose(p) != 0) throw std::runtime_error("gzip failed on " + path);
  return out;
}

}  // namespace

std::string WineSystemReg() { return ReadGzip(std::string(FRAMBUL_SHARED_SAMPLES) + "/wine8-win64/system.reg.gz"); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Win98Sample() { return std::string(FRAMBUL_SOURCE_DIR) + "/samples/win98"; }

}  // namespace frambul::bench
