#pragma once
// Help macros: the text a caller sends to the viewer to run, such as JumpID("","MiscPage").

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace frambul::ui::help {

struct Macro {
  std::string name;
  std::vector<std::string> args;
};

// Reads one macro call: a name, then arguments in parentheses separated by commas, each
// either in double quotes (taken as written, backslashes included) or a bare word. Blanks
// around the parts and one closing ";" are allowed. Anything else gives nothing.
std::optional<Macro> ParseMacro(std::string_view text);

}  // namespace frambul::ui::help
