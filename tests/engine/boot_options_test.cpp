// The boot switches of section "Options" of "C:\MSDOS.Sys": what each box
// shows for what the file holds, and the file's bytes after the apply.

#include "engine/boot_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/cycle.h"
#include "engine/store/errors.h"
#include "support/temp_prefix.h"

namespace frambul::engine {
namespace {

using store::MachineOptions;
using test::FixedClock;
using test::ReadFile;

const std::string kHead = "[Paths]\r\nWinDir=C:\\WINDOWS\r\n\r\n[Options]\r\nWinVer=4.10.2222\r\n";
const std::string kTail = ";\r\n;The following lines are required for compatibility with other programs.\r\n";

// A machine whose boot file holds `text` (no file when nothing is given).
struct BootFile {
  explicit BootFile(const std::optional<std::string>& text)
      : machine(prefix.path(), MachineOptions{nullptr, FixedClock}), file(machine, kBootFile) {
    if (text) test::WriteFile(path(), *text);
  }
  std::string path() const { return prefix.file("drive_c/MSDOS.SYS"); }
  std::string Text() const { return ReadFile(path()); }
  BootFile& Load() {
    LoadBootOptions(file, form);
    return *this;
  }
  std::string Apply() {
    ApplyBootOptions(file, form);
    return Text();
  }

  test::TempPrefix prefix;
  store::Machine machine;
  store::TIniFile file;
  MainForm form;
};

using Box = CheckBox MainForm::*;
const Box kBoxes[] = {&MainForm::LogoChk,      &MainForm::NetworkChk,  &MainForm::AutoScanChk,
                      &MainForm::BootMultiChk, &MainForm::BootGUIChk,  &MainForm::BootWinChk,
                      &MainForm::BootMenuChk,  &MainForm::DblSpaceChk, &MainForm::DoubleBufferChk,
                      &MainForm::BootKeysChk};

struct Switch {
  Box box;
  std::string other;  // lines that show the box unchecked
  std::string lines;  // what a checked box writes, and shows it checked
};

class BootSwitch : public ::testing::TestWithParam<Switch> {};

TEST_P(BootSwitch, LoadsFromItsKeyAndWritesOrRemovesIt) {
  const Switch& s = GetParam();
  BootFile boot(kHead + s.lines + kTail);
  boot.Load();
  for (Box box : kBoxes) EXPECT_EQ((boot.form.*box).Checked, box == s.box);
  EXPECT_EQ(boot.form.BootWinChk.Enabled, s.box == &MainForm::BootMultiChk);
  EXPECT_EQ(boot.form.BootDelayEdt.Text, "2");

  EXPECT_EQ(boot.Apply(), kHead + s.lines + kTail);
  (boot.form.*s.box).Checked = false;
  EXPECT_EQ(boot.Apply(), kHead + kTail);
  (boot.form.*s.box).Checked = true;
  EXPECT_EQ(boot.Apply(), kHead + s.lines + kTail);

  BootFile other(kHead + s.other + kTail);
  other.Load();
  EXPECT_FALSE((other.form.*s.box).Checked);
  EXPECT_EQ(other.Apply(), kHead + kTail);
}

INSTANTIATE_TEST_SUITE_P(
    Options, BootSwitch,
    ::testing::Values(Switch{&MainForm::LogoChk, "Logo=1\r\n", "Logo=0\r\n"},
                      Switch{&MainForm::NetworkChk, "Network=0\r\n", "Network=1\r\n"},
                      Switch{&MainForm::AutoScanChk, "AutoScan=2\r\n", "AutoScan=0\r\n"},
                      Switch{&MainForm::BootMultiChk, "BootMulti=yes\r\n", "BootMulti=1\r\n"},
                      Switch{&MainForm::BootGUIChk, "BootGUI=1\r\n", "BootGUI=0\r\n"},
                      Switch{&MainForm::BootWinChk, "BootWin=00\r\n", "BootWin=0\r\n"},
                      Switch{&MainForm::BootMenuChk, "BootMenu=\r\n", "BootMenu=1\r\n"},
                      Switch{&MainForm::DblSpaceChk, "DblSpace=1\r\nDrvSpace=0\r\n", "DblSpace=0\r\nDrvSpace=0\r\n"},
                      Switch{&MainForm::DoubleBufferChk, "DoubleBuffer=0 1\r\n", "DoubleBuffer=0\r\n"},
                      Switch{&MainForm::BootKeysChk, "BootKeys=O\r\n", "BootKeys=0\r\n"}));

TEST(BootOptions, WithoutTheKeysEveryBoxIsUncheckedAndTheDelayIsTwo) {
  for (const std::optional<std::string>& text :
       {std::optional<std::string>(), std::optional<std::string>("[Paths]\r\nWinDir=C:\\WINDOWS\r\n"),
        std::optional<std::string>("[Paths]\r\nLogo=0\r\nBootMulti=1\r\n\r\n[Options]\r\n")}) {
    SCOPED_TRACE(text.value_or("no file"));
    BootFile boot(text);
    boot.Load();
    for (Box box : kBoxes) {
      EXPECT_FALSE((boot.form.*box).Checked);
      EXPECT_TRUE((boot.form.*box).Loaded);
    }
    EXPECT_EQ(boot.form.BootDelayEdt.Text, "2");
    EXPECT_TRUE(boot.form.BootDelayEdt.Loaded);
    EXPECT_FALSE(boot.form.BootWinChk.Enabled);
  }
  BootFile none(std::nullopt);
  none.Load();
  EXPECT_FALSE(std::filesystem::exists(none.path()));
}

TEST(BootOptions, BootWinFollowsBootMultiButIsWrittenEitherWay) {
  BootFile boot(kHead + "BootMulti=1\r\nBootWin=0\r\n");
  boot.Load();
  EXPECT_TRUE(boot.form.BootMultiChk.Checked);
  EXPECT_TRUE(boot.form.BootWinChk.Checked);
  EXPECT_TRUE(boot.form.BootWinChk.Enabled);
  boot.form.BootMultiChk.Checked = false;
  BootMultiChkClick(boot.form);
  EXPECT_FALSE(boot.form.BootWinChk.Enabled);
  EXPECT_TRUE(boot.form.BootWinChk.Checked);
  EXPECT_EQ(boot.Apply(), kHead + "BootWin=0\r\n");

  // Loaded checked although the previous system may not be booted.
  BootFile alone(kHead + "BootWin=0\r\n");
  alone.Load();
  EXPECT_TRUE(alone.form.BootWinChk.Checked);
  EXPECT_FALSE(alone.form.BootWinChk.Enabled);
  EXPECT_EQ(alone.Apply(), kHead + "BootWin=0\r\n");
}

TEST(BootOptions, BootDelayIsWrittenAsTypedUnlessItIsTwoOrNoNumber) {
  BootFile shown(kHead + "BootDelay = 7 \r\n");
  EXPECT_EQ(shown.Load().form.BootDelayEdt.Text, "7");

  auto applied = [](const std::string& text) {
    BootFile boot(kHead + "BootDelay=7\r\nLogo=0\r\n" + kTail);
    boot.Load();
    boot.form.BootDelayEdt.Text = text;
    return boot.Apply();
  };
  // Two, what a missing key means, and texts that are no number remove the key.
  for (const char* text : {"2", "02", "+2", "$2", " 2", "", "a", "3 ", "99999999999"})
    EXPECT_EQ(applied(text), kHead + "Logo=0\r\n" + kTail) << '"' << text << '"';
  for (const char* text : {"0", "-1", " 5", "x10", "$FFFFFFFF"})
    EXPECT_EQ(applied(text), kHead + "BootDelay=" + text + "\r\nLogo=0\r\n" + kTail) << '"' << text << '"';
}

TEST(BootOptions, ApplyWritesTheKeysInTheOrderOfThePage) {
  BootFile boot("[Paths]\r\nWinDir=C:\\WINDOWS\r\n\r\n[Options]\r\n; switches\r\n\r\n[Other]\r\nA=1\r\n");
  boot.Load();
  for (Box box : kBoxes) (boot.form.*box).Checked = true;
  boot.form.BootDelayEdt.Text = "5";
  EXPECT_EQ(boot.Apply(),
            "[Paths]\r\nWinDir=C:\\WINDOWS\r\n\r\n[Options]\r\n"
            "Logo=0\r\nNetwork=1\r\nAutoScan=0\r\nBootMulti=1\r\nBootGUI=0\r\nBootWin=0\r\nBootMenu=1\r\n"
            "BootDelay=5\r\nDblSpace=0\r\nDrvSpace=0\r\nDoubleBuffer=0\r\nBootKeys=0\r\n"
            "; switches\r\n\r\n[Other]\r\nA=1\r\n");
}

TEST(BootOptions, AFileThatCannotBeWrittenFailsOnlyOutsideTheDelayGuard) {
  const std::string text = kHead + "BootDelay=7\r\nDblSpace=0\r\n" + kTail;
  BootFile boot(text);
  boot.Load();
  ASSERT_EQ(::chmod(boot.path().c_str(), 0444), 0);
  boot.form.BootDelayEdt.Text = "5";
  boot.form.DblSpaceChk.Checked = false;
  EXPECT_NO_THROW(boot.Apply());
  EXPECT_EQ(boot.Text(), text);

  boot.form.LogoChk.Checked = true;
  try {
    boot.Apply();
    ADD_FAILURE() << "no error";
  } catch (const store::EStoreError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to C:\\MSDOS.Sys");
  }
  EXPECT_EQ(boot.Text(), text);
}

}  // namespace
}  // namespace frambul::engine
