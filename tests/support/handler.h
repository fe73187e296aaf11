#pragma once
// What the tests of the load and apply steps share: hive text built from key
// paths, and a handler run as the window runs one.

#include <functional>
#include <regex>
#include <string>

#include "engine/store/errors.h"
#include "engine/store/machine.h"

namespace frambul::test {

// A key path as the registry files spell it: each backslash doubled.
inline std::string Doubled(const std::string& path) { return std::regex_replace(path, std::regex(R"(\\)"), R"(\\)"); }

// One key of a registry file, its path spelled with single backslashes.
inline std::string KeyText(const std::string& path, const std::string& values) {
  return "\n[" + Doubled(path) + "] 946684800\n#time=1bf53eb256d4000\n" + values + (values.empty() ? "" : "\n");
}

// Runs one handler as the window does: an error ends it, and the machine is
// written to disk afterwards. Gives the first error's text, empty when none.
inline std::string RunHandler(store::Machine& machine, const std::function<void()>& handler) {
  std::string error;
  try {
    handler();
  } catch (const store::EStoreError& e) {
    error = e.what();
  }
  try {
    machine.Flush();
  } catch (const store::EStoreError& e) {
    if (error.empty()) error = e.what();
  }
  return error;
}

}  // namespace frambul::test
