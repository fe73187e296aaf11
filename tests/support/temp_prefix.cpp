#include "support/temp_prefix.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace frambul::test {

std::string_view TempPrefix::DefaultSystemReg() {
  return "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n\n"
         "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 946684800\n#time=1bf53eb256d4000\n"
         "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n\n"
         "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 946684800\n#time=1bf53eb256d4000\n"
         "\"ACP\"=\"1251\"\n";
}

std::string_view TempPrefix::DefaultUserReg() {
  return "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n\n"
         "[Control Panel\\\\desktop] 946684800\n#time=1bf53eb256d4000\n\"MenuShowDelay\"=\"400\"\n";
}

TempPrefix::TempPrefix(std::string_view systemReg, std::string_view userReg) {
  std::string tmpl = std::filesystem::temp_directory_path().string() + "/frambul-test-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  std::filesystem::create_directories(path_ + "/drive_c/WINDOWS");
  std::filesystem::create_directories(path_ + "/dosdevices");
  std::filesystem::create_directory_symlink("../drive_c", path_ + "/dosdevices/c:");
  WriteFile(path_ + "/system.reg", systemReg);
  if (!userReg.empty()) WriteFile(path_ + "/user.reg", userReg);
}

TempPrefix::~TempPrefix() {
  std::error_code ec;
  // Give write permission back so that read-only files can go; never through
  // a link, which may lead out of the prefix (dosdevices/z: is "/").
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec); !ec && it != std::filesystem::end(it); ++it)
    if (!it->is_symlink()) ::chmod(it->path().c_str(), 0700);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadGzip(const std::string& path) {
  std::string cmd = "gzip -dc '" + path + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run gzip");
  std::string out;
  char buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (::pclose(p) != 0) throw std::runtime_error("gzip failed on " + path);
  return out;
}

int64_t FixedClock() {
  // 2026-01-01 00:00:00 UTC: written as "] 1767225600" and "#time=1dc7ab192810000".
  return 1767225600LL * 10000000LL + 116444736000000000LL;
}

}  // namespace frambul::test
