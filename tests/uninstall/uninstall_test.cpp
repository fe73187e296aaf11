// The uninstall page on small machines: the lines the load shows and the
// removal of the selected entries, which reaches the disk at once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tuning/page_machine.h"
#include "uninstall/uninstall_list.h"

namespace frambul::uninstall {
namespace {

using ::testing::HasSubstr;
using test::Keys;
using test::PageMachine;

const std::string kUninstall = R"(Software\Microsoft\Windows\CurrentVersion\Uninstall)";

std::string Entry(const std::string& name) { return kUninstall + "\\" + name; }

// Lines and keys side by side, "line=key|".
std::string Shown(const engine::MainForm& f) {
  std::string text;
  for (size_t i = 0; i < f.UninstallLst.Items.size(); ++i) {
    text += f.UninstallLst.Items[i] + "=" + (f.UninstallKeys ? f.UninstallKeys->at(i) : "?") + "|";
  }
  return text;
}

TEST(Uninstall, TheLoadShowsEachEntrysDisplayNameOrElseItsKeysName) {
  PageMachine m({{Entry("A"), R"("DisplayName"="Альфа")"},
                 {Entry("B"), R"("UninstallString"="B.EXE")"},
                 {Entry("C"), R"("DisplayName"="")"},
                 {Entry("D"), R"("DisplayName"="Альфа")"},
                 // Cannot be opened: its own name, not the name of D before it.
                 {Entry("E"), test::kBrokenLink},
                 {Entry("F") + R"(\Sub)", R"("DisplayName"="Sub")"}});
  EXPECT_EQ(m.loadError, "");
  EXPECT_EQ(Shown(m.form), "Альфа=A|B=B|C=C|Альфа=D|E=E|F=F|");
  EXPECT_TRUE(m.form.UninstallLst.Enabled && m.form.UninstallLst.Loaded);
  EXPECT_EQ(m.form.UninstallLst.Selected, std::vector<bool>(6, false));

  PageMachine empty({{kUninstall, ""}});
  EXPECT_TRUE(empty.form.UninstallKeys && empty.form.UninstallKeys->empty() && empty.form.UninstallLst.Enabled);
  PageMachine none({});
  EXPECT_TRUE(!none.form.UninstallKeys && !none.form.UninstallLst.Enabled && none.form.UninstallLst.Loaded);
  // A display name that is no string ends the load there; lines and keys stay in step.
  PageMachine bad({{Entry("A"), ""}, {Entry("B"), R"("DisplayName"=dword:00000001)"}, {Entry("C"), ""}});
  EXPECT_EQ(bad.loadError, "Invalid data type for 'DisplayName'");
  EXPECT_EQ(Shown(bad.form), "A=A|");
  EXPECT_FALSE(bad.form.UninstallLst.Loaded);
}

TEST(Uninstall, TheRemovalTakesTheLowestSelectedLineEachTimeWithItsKeyAndSubkeys) {
  const Keys keys = {{Entry("A"), R"("DisplayName"="Same")"},
                     {Entry("B"), R"("DisplayName"="Same")"},
                     {Entry("C"), ""},
                     {Entry("D"), ""},
                     {Entry("E") + R"(\One\Two\Three)", R"("X"="1")"},
                     {Entry("E") + R"(\One)", R"("X"="1")"},
                     {Entry("F"), ""}};
  PageMachine m(keys);
  ASSERT_EQ(Shown(m.form), "Same=A|Same=B|C=C|D=D|E=E|F=F|");
  store::TRegistry registry(m.machine);
  // Nothing selected: nothing changes.
  EXPECT_EQ(m.Run([&] { BitBtn7Click(registry, m.form); }), "");
  EXPECT_EQ(Shown(m.form), "Same=A|Same=B|C=C|D=D|E=E|F=F|");
  // The second of two equal lines, the fifth with three levels below it; the
  // key of D went behind the list's back, and its line goes all the same.
  m.form.UninstallLst.Selected = {false, true, false, true, true, false};
  registry.RemoveKey("\\" + Entry("D"));
  EXPECT_EQ(m.Run([&] { BitBtn7Click(registry, m.form); }), "");
  EXPECT_EQ(Shown(m.form), "Same=A|C=C|F=F|");
  EXPECT_EQ(m.form.UninstallLst.Selected, std::vector<bool>(3, false));
  for (const char* gone : {"B", "D", "E"}) EXPECT_FALSE(m.HasKey(Entry(gone))) << gone;
  for (const char* kept : {"A", "C", "F"}) EXPECT_TRUE(m.HasKey(Entry(kept))) << kept;
  // Cancel undoes nothing.
  EXPECT_EQ(m.Run([&] { m.cycle.BitBtn2Click(); }), "");
  EXPECT_FALSE(m.HasKey(Entry("B")));
}

// The line goes and the key stays deleted in memory, so the next write takes
// the removal along.
TEST(Uninstall, ARemovalThatCannotBeWrittenIsCarriedByTheNextWrite) {
  PageMachine m({{Entry("A"), ""}, {Entry("B"), ""}, {Entry("C"), ""}});
  store::TRegistry registry(m.machine);
  m.form.UninstallLst.Selected = {true, false, false};
  ::chmod(m.prefix.file("system.reg").c_str(), 0444);
  EXPECT_THAT(m.Run([&] { BitBtn7Click(registry, m.form); }), HasSubstr(m.prefix.file("system.reg")));
  EXPECT_EQ(Shown(m.form), "B=B|C=C|");
  EXPECT_TRUE(m.HasKey(Entry("A")));
  ::chmod(m.prefix.file("system.reg").c_str(), 0644);
  m.form.UninstallLst.Selected = {true, false};
  EXPECT_EQ(m.Run([&] { BitBtn7Click(registry, m.form); }), "");
  EXPECT_FALSE(m.HasKey(Entry("A")) || m.HasKey(Entry("B")));
  EXPECT_TRUE(m.HasKey(Entry("C")));
}

}  // namespace
}  // namespace frambul::uninstall
