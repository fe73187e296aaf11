#pragma once
// A small machine for the tests of the network, cache and uninstall pages: the
// registry of a test prefix plus the keys of each case and a SYSTEM.INI, with
// the window's cycle on it, loaded as the window loads it.

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/cycle.h"
#include "support/handler.h"
#include "support/temp_prefix.h"

namespace frambul::test {

// Each key, spelled with single backslashes, with its value lines.
using Keys = std::vector<std::pair<std::string, std::string>>;

// A link to "X", a key that does not exist: it can be neither opened nor created.
inline const std::string kBrokenLink = "#link\n\"SymbolicLinkValue\"=hex(6):58,00";

inline std::string SystemReg(const Keys& keys) {
  std::string text(TempPrefix::DefaultSystemReg());
  for (const auto& [path, values] : keys) text += KeyText(path, values);
  return text;
}

struct PageMachine {
  // A Russian machine: the sizes in megabytes are written with a comma.
  explicit PageMachine(const Keys& keys, const std::string& systemIni = "")
      : prefix(SystemReg(keys)), machine(prefix.path(), store::MachineOptions{nullptr, FixedClock}), cycle(machine, form) {
    if (!systemIni.empty()) WriteFile(IniPath(), systemIni);
    form.DecimalSeparator = ",";
    loadError = Run([this] { cycle.FormCreate(); });
  }

  std::string Run(const std::function<void()>& handler) { return RunHandler(machine, handler); }
  // OK, with the tweaks group marked by the MTU's edit.
  std::string Ok() {
    form.MTUEdt.Tag = 1;
    return Run([this] { cycle.OkBtnClick(); });
  }

  std::string IniPath() const { return prefix.file("drive_c/WINDOWS/SYSTEM.INI"); }
  std::string SystemIni() const { return ReadFile(IniPath()); }
  // The value lines of the key, or nothing when system.reg has no such key.
  // The key is found without regard to case: the apply creates keys in its own spelling.
  std::optional<std::string> Values(const std::string& path) const {
    const std::string text = ReadFile(prefix.file("system.reg")) + "\n", head = "\n[" + Doubled(path) + "]";
    auto same = [](char a, char b) { return std::tolower(a) == std::tolower(b); };
    size_t at = std::search(text.begin(), text.end(), head.begin(), head.end(), same) - text.begin();
    if (at == text.size()) return std::nullopt;
    at = text.find('\n', at + 1);
    while (text[at + 1] == '#') at = text.find('\n', at + 1);  // the key's time, a link's mark
    const size_t end = text.find("\n\n", at);
    return end == at ? "" : text.substr(at + 1, end - at - 1);
  }

  TempPrefix prefix;
  store::Machine machine;
  engine::MainForm form;
  engine::LoadApplyCycle cycle;
  std::string loadError;
};

}  // namespace frambul::test
