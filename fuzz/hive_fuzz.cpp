// Registry files: any input either parses or is refused with HiveFormatError,
// and what the writer produces is canonical: parsing it again and writing
// gives the same text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/store/hive.h"

using frambul::store::Hive;
using frambul::store::HiveFormatError;

namespace {

// Shows where two writes part and stops, so that libFuzzer keeps the input.
[[noreturn]] void FailDiffer(const std::string& first, const std::string& second) {
  size_t at = 0;
  while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
  size_t from = at > 80 ? at - 80 : 0;
  std::fprintf(stderr,
               "canonical text is not a fixed point: the writes part at byte %zu\n"
               "--- first write (%zu bytes) near there:\n%.240s\n--- second write (%zu bytes) near there:\n%.240s\n",
               at, first.size(), first.c_str() + from, second.size(), second.c_str() + from);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string first;
  try {
    first = Hive::Parse(text, "fuzz.reg", 1)->Write();
  } catch (const HiveFormatError&) {
    return 0;
  }
  std::string second;
  try {
    second = Hive::Parse(first, "fuzz.reg", 1)->Write();
  } catch (const HiveFormatError& e) {
    std::fprintf(stderr, "the writer's own output is refused:\n%s\n--- it was:\n%.2000s\n", e.what(), first.c_str());
    std::abort();
  }
  if (first != second) FailDiffer(first, second);
  return 0;
}
