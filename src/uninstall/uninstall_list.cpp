#include "uninstall/uninstall_list.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace frambul::uninstall {
namespace {

constexpr std::string_view kUninstall = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Entry(const std::string& name) { return std::string(kUninstall) + "\\" + name; }

}  // namespace

void LoadUninstallList(store::TRegistry& registry, engine::MainForm& form) {
  engine::ListBox& list = form.UninstallLst;
  registry.SetCurrentRoot(store::RootKey::LocalMachine);
  if (!registry.OpenPath(kUninstall, false)) {
    list.Enabled = false;
    list.Loaded = true;
    return;
  }
  std::vector<std::string> names;
  registry.ListSubkeys(names);
  std::vector<std::string>& keys = form.UninstallKeys.emplace();
  for (const std::string& name : names) {
    // An entry that cannot be opened shows its name, never the name read
    // from the key opened before.
    std::string text = registry.OpenPath(Entry(name), false) ? registry.ReadText("DisplayName") : "";
    // Key and line go in together, so that line i is always key i.
    keys.push_back(name);
    list.Items.push_back(text.empty() ? name : text);
    list.Selected.push_back(false);
  }
  list.Loaded = true;
}

void BitBtn7Click(store::TRegistry& registry, engine::MainForm& form) {
  engine::ListBox& list = form.UninstallLst;
  if (!form.UninstallKeys) return;
  std::vector<std::string>& keys = *form.UninstallKeys;
  registry.SetCurrentRoot(store::RootKey::LocalMachine);
  // Always the lowest selected line: removing it moves the later ones up.
  for (auto n = std::count(list.Selected.begin(), list.Selected.end(), true); n > 0; --n) {
    const auto i = std::find(list.Selected.begin(), list.Selected.end(), true) - list.Selected.begin();
    if (static_cast<size_t>(i) >= keys.size()) break;
    // A key that will not go (gone already) loses its line all the same.
    registry.RemoveKey(Entry(keys[i]));
    keys.erase(keys.begin() + i);
    list.Items.erase(list.Items.begin() + i);
    list.Selected.erase(list.Selected.begin() + i);
  }
}

}  // namespace frambul::uninstall
