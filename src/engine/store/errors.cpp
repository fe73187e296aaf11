#include "errors.h"

namespace frambul::store {

std::string Format(const char* pattern, const std::string& arg) {
  std::string out(pattern);
  auto pos = out.find("%s");
  if (pos != std::string::npos) out.replace(pos, 2, arg);
  return out;
}

}  // namespace frambul::store
