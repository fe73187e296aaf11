#pragma once
// Wine's own programs, for the tests that check what Wine reads of a prefix
// the store wrote; tests skip where Wine is not installed.

#include <unistd.h>

#include <cstdio>
#include <string>

namespace frambul::test {

struct WineTools {
  std::string wine, server;  // empty when Wine is not installed
  explicit operator bool() const { return !wine.empty(); }
};

// Debian keeps the 64-bit programs beside the loader, upstream in /usr/bin.
inline WineTools FindWine() {
  const std::string dir = ::access("/usr/lib/wine/wine64", X_OK) == 0 ? "/usr/lib/wine/" : "/usr/bin/";
  WineTools tools{dir + "wine64", dir + "wineserver"};
  if (::access(tools.wine.c_str(), X_OK) != 0 || ::access(tools.server.c_str(), X_OK) != 0) return {};
  return tools;
}

// Runs a command of Wine's with WINEPREFIX set; gives its standard output.
inline std::string Wine(const std::string& prefix, const std::string& command) {
  FILE* p = ::popen(("WINEPREFIX='" + prefix + "' WINEDEBUG=-all " + command + " 2>/dev/null").c_str(), "r");
  std::string out;
  char buf[4096];
  for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (p) ::pclose(p);
  return out;
}

}  // namespace frambul::test
