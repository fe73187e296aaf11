#pragma once
// The sample files the benchmarks read.

#include <string>

namespace frambul::bench {

// The system.reg of a fresh 64-bit Wine 8 prefix (about 1.7 MB of text).
std::string WineSystemReg();
// The whole of a file.
std::string ReadFile(const std::string& path);
// The sample Windows 98 machine (a Wine prefix) of the source tree.
std::string Win98Sample();

}  // namespace frambul::bench
