// The uninstall page on small machines: the lines the load shows and the removal of the selected entries.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <tuple>
#include <vector>

#include "tuning/page_machine.h"
#include "uninstall/uninstall_list.h"

namespace frambul::uninstall {
namespace {

using test::PageMachine;

const std::string kUninstall = R"(Software\Microsoft\Windows\CurrentVersion\Uninstall)";

std::string Entry(const std::string& name) { return kUninstall + "\\" + name; }

// Lines and keys side by side, "line=key|", then what else differs from a full list.
std::string Shown(const engine::MainForm& f) {
  std::string text;
  for (size_t i = 0; i < f.UninstallLst.Items.size(); ++i) {
    text += f.UninstallLst.Items[i] + "=" + (f.UninstallKeys ? f.UninstallKeys->at(i) : "?") + "|";
  }
  if (f.UninstallLst.Selected != std::vector<bool>(f.UninstallLst.Items.size(), false)) text += " selection";
  return text + (f.UninstallKeys ? "" : " no keys") + (f.UninstallLst.Enabled ? "" : " disabled") +
         (f.UninstallLst.Loaded ? "" : " not loaded");
}

// No uninstall key disables the list; a bad DisplayName ends the load.
TEST(Uninstall, TheLoadDisablesTheListWithoutItsKeyAndEndsAtABadDisplayName) {
  const std::tuple<test::Keys, std::string, std::string> cases[] = {
      {{{kUninstall, ""}}, "", ""},
      {{}, " no keys disabled", ""},
      {{{Entry("A"), ""}, {Entry("B"), R"("DisplayName"=dword:00000001)"}, {Entry("C"), ""}}, "A=A| not loaded",
       "Invalid data type for 'DisplayName'"},
  };
  for (const auto& [keys, shown, error] : cases) {
    PageMachine m(keys);
    EXPECT_EQ(m.loadError, error);
    EXPECT_EQ(Shown(m.form), shown);
  }
}

// Each entry's DisplayName shows, else its key's name; each selected line goes with its key and subkeys; one that
// cannot be written leaves its removal to the next write.
TEST(Uninstall, TheRemovalTakesTheSelectedLinesWithTheirKeysAndSubkeys) {
  PageMachine m({{Entry("A"), R"("DisplayName"="Same")"},
                 {Entry("B"), R"("DisplayName"="Same")"},
                 {Entry("C"), R"("DisplayName"="")"},
                 {Entry("D"), R"("DisplayName"="Dee")"},
                 // Cannot be opened: its own name, not the name of D before it.
                 {Entry("E"), test::kBrokenLink},
                 {Entry("F") + R"(\One\Two\Three)", R"("X"="1")"},
                 {Entry("F") + R"(\One)", R"("DisplayName"="Sub")"},
                 {Entry("G"), R"("UninstallString"="G.EXE")"}});
  store::TRegistry registry(m.machine);
  auto remove = [&](std::vector<bool> selected) {
    m.form.UninstallLst.Selected = std::move(selected);
    return m.Run([&] { BitBtn7Click(registry, m.form); });
  };
  EXPECT_EQ(remove(std::vector<bool>(7, false)), "");
  EXPECT_EQ(Shown(m.form), "Same=A|Same=B|C=C|Dee=D|E=E|F=F|G=G|");

  ::chmod(m.prefix.file("system.reg").c_str(), 0444);
  EXPECT_THAT(remove({false, false, false, false, false, false, true}), testing::HasSubstr(m.prefix.file("system.reg")));
  EXPECT_EQ(Shown(m.form), "Same=A|Same=B|C=C|Dee=D|E=E|F=F|");
  EXPECT_TRUE(m.Values(Entry("G")));
  ::chmod(m.prefix.file("system.reg").c_str(), 0644);

  // The second of two equal lines, the sixth with three levels below it; the
  // key of D went behind the list's back, and its line goes all the same.
  registry.RemoveKey("\\" + Entry("D"));
  EXPECT_EQ(remove({false, true, false, true, false, true}), "");
  EXPECT_EQ(Shown(m.form), "Same=A|C=C|E=E|");
  // Cancel undoes nothing.
  EXPECT_EQ(m.Run([&] { m.cycle.BitBtn2Click(); }), "");
  for (const char* gone : {"B", "D", "F\\One", "F\\One\\Two\\Three", "G"}) EXPECT_FALSE(m.Values(Entry(gone))) << gone;
  for (const char* kept : {"A", "C", "E"}) EXPECT_TRUE(m.Values(Entry(kept))) << kept;
}

}  // namespace
}  // namespace frambul::uninstall
