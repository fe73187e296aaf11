#include "errors.h"

#include <string_view>

namespace frambul::store {

std::string Format(const char* pattern, const std::string& arg) {
  const std::string_view p(pattern);
  const auto pos = p.find("%s");
  if (pos == std::string_view::npos) return std::string(p);
  std::string out(p.substr(0, pos));
  out += arg;
  out += p.substr(pos + 2);
  return out;
}

}  // namespace frambul::store
