// Registry files: any input either parses or is refused with HiveFormatError,
// the same whether it comes whole or in pieces; every name and value the tree
// keeps is as Wine writes it (decoded and encoded again, it comes out the
// same); and what the writer produces is canonical: parsing it again and
// writing gives the same text.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store/hive.h"
#include "engine/store/hive_text.h"

using frambul::store::Hive;
using frambul::store::HiveFormatError;
using frambul::store::HiveReader;
using frambul::store::RegKey;
using frambul::store::RegValue;

namespace {

// Shows where two texts part and stops, so that libFuzzer keeps the input.
[[noreturn]] void FailDiffer(const char* what, const std::string& first, const std::string& second) {
  size_t at = 0;
  while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
  size_t from = at > 80 ? at - 80 : 0;
  std::fprintf(stderr,
               "%s: the texts part at byte %zu\n"
               "--- first (%zu bytes) near there:\n%.240s\n--- second (%zu bytes) near there:\n%.240s\n",
               what, at, first.size(), first.c_str() + from, second.size(), second.c_str() + from);
  std::abort();
}

// What reading a file refused comes to: its problems.
std::string Refused(const HiveFormatError& e) { return std::string("refused: ") + e.what(); }

// Reads `text` in pieces whose sizes come from the text itself.
std::string ReadInPieces(std::string_view text) {
  HiveReader reader("fuzz.reg", 1);
  size_t at = 0, step = 1;
  while (at < text.size()) {
    const size_t n = std::min(text.size() - at, step);
    reader.Feed(text.substr(at, n));
    at += n;
    step = 1 + static_cast<unsigned char>(text[at - 1]) % 97;
  }
  try {
    return reader.Finish()->Write();
  } catch (const HiveFormatError& e) {
    return Refused(e);
  }
}

// Every key name and value the hive keeps is as Wine writes it.
void CheckCanonical(const Hive& hive) {
  std::vector<const RegKey*> stack{&hive.root()};
  while (!stack.empty()) {
    const RegKey* key = stack.back();
    stack.pop_back();
    std::string name;
    frambul::store::AppendEscaped(name, key->name(), '[', ']');
    if (name != key->nameText()) FailDiffer("a key name is kept other than as Wine writes it", std::string(key->nameText()), name);
    for (const RegValue& v : key->values()) {
      std::string text;
      const size_t column = frambul::store::AppendValueName(text, v.name());
      frambul::store::AppendValueData(text, v.type(), v.data(), column);
      if (text != v.text()) FailDiffer("a value is kept other than as Wine writes it", std::string(v.text()), text);
    }
    stack.insert(stack.end(), key->subkeys().begin(), key->subkeys().end());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<Hive> hive;
  std::string first;
  try {
    hive = Hive::Parse(text, "fuzz.reg", 1);
    first = hive->Write();
  } catch (const HiveFormatError& e) {
    first = Refused(e);
  }
  if (const std::string pieces = ReadInPieces(text); pieces != first)
    FailDiffer("read in pieces, the file gives another outcome", first, pieces);
  if (!hive) return 0;
  CheckCanonical(*hive);
  std::string second;
  try {
    second = Hive::Parse(first, "fuzz.reg", 1)->Write();
  } catch (const HiveFormatError& e) {
    std::fprintf(stderr, "the writer's own output is refused:\n%s\n--- it was:\n%.2000s\n", e.what(), first.c_str());
    std::abort();
  }
  if (first != second) FailDiffer("canonical text is not a fixed point", first, second);
  return 0;
}
