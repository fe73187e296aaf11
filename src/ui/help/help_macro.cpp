#include "ui/help/help_macro.h"

namespace frambul::ui::help {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

void SkipBlanks(std::string_view& s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
}

// One argument at the front of `s`, removed from it; nothing when it is malformed.
std::optional<std::string> TakeArgument(std::string_view& s) {
  if (!s.empty() && s.front() == '"') {
    const size_t close = s.find('"', 1);
    if (close == std::string_view::npos) return std::nullopt;
    std::string arg(s.substr(1, close - 1));
    s.remove_prefix(close + 1);
    return arg;
  }
  size_t end = 0;
  while (end < s.size() && !IsBlank(s[end]) && s[end] != ',' && s[end] != ')' && s[end] != '"') ++end;
  if (end == 0) return std::nullopt;
  std::string arg(s.substr(0, end));
  s.remove_prefix(end);
  return arg;
}

}  // namespace

std::optional<Macro> ParseMacro(std::string_view s) {
  Macro macro;
  SkipBlanks(s);
  while (!s.empty() && IsNameChar(s.front())) {
    macro.name += s.front();
    s.remove_prefix(1);
  }
  SkipBlanks(s);
  if (macro.name.empty() || s.empty() || s.front() != '(') return std::nullopt;
  s.remove_prefix(1);
  SkipBlanks(s);
  if (!s.empty() && s.front() == ')') {
    s.remove_prefix(1);
  } else {
    for (;;) {
      std::optional<std::string> arg = TakeArgument(s);
      if (!arg) return std::nullopt;
      macro.args.push_back(std::move(*arg));
      SkipBlanks(s);
      if (s.empty()) return std::nullopt;
      const char separator = s.front();
      s.remove_prefix(1);
      SkipBlanks(s);
      if (separator == ')') break;
      if (separator != ',') return std::nullopt;
    }
  }
  SkipBlanks(s);
  if (!s.empty() && s.front() == ';') s.remove_prefix(1);
  SkipBlanks(s);
  if (!s.empty()) return std::nullopt;
  return macro;
}

}  // namespace frambul::ui::help
