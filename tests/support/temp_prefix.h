#pragma once
// A fresh Wine prefix in a temporary folder, removed again after the test.

#include <cstdint>
#include <string>
#include <string_view>

namespace frambul::test {

class TempPrefix {
 public:
  // A prefix with the given hives (no user.reg when empty) and drive C: at drive_c/ with a WINDOWS folder.
  explicit TempPrefix(std::string_view systemReg = DefaultSystemReg(), std::string_view userReg = DefaultUserReg());
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view relative) const { return path_ + "/" + std::string(relative); }

  // A Windows 98 machine: C:\WINDOWS, code page 1251, a menu delay of 400.
  static std::string_view DefaultSystemReg();
  static std::string_view DefaultUserReg();

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
// The text of a gzip file of the Wine samples.
std::string ReadGzip(const std::string& path);
// A clock that always says 2026-01-01 00:00:00 UTC (FILETIME).
int64_t FixedClock();

}  // namespace frambul::test
