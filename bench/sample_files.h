#pragma once
// The sample files the benchmarks read.

#include <string>

namespace frambul::bench {

// The system.reg of a fresh 64-bit Wine 8 prefix (about 1.7 MB of text), or
// the copy `copies` times its size that big_hive.py made in the build (10, 30).
std::string WineSystemReg(int copies = 1);
// The whole of a file.
std::string ReadFile(const std::string& path);
// The sample Windows 98 machine (a Wine prefix) of the source tree.
std::string Win98Sample();

}  // namespace frambul::bench
