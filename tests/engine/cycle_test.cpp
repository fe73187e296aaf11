// The load-and-apply cycle end to end: the group tests, what OK and Cancel
// leave on disk, the boot file's attributes at each moment, and how the cycle
// behaves after a load or an apply that ended on an error.

#include "engine/cycle.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/machine_text.h"
#include "engine/store/files.h"
#include "support/temp_prefix.h"

namespace frambul::engine {
namespace {

using store::MachineOptions;
using test::DosAttrib;
using test::FixedClock;
using test::KeyValues;
using test::ReadFile;
using test::RegFile;
using test::RegKeys;
using test::WithoutTimes;
using test::Writable;

using Mark = std::function<int&(MainForm&)>;
#define MARK(control)                                            \
  std::pair<const char*, Mark> {                                 \
#control, [](MainForm & f) -> int& { return f.control.Tag; } \
  }

TEST(ChangeMarks, EachGroupIsChangedByItsOwnMarksAlone) {
  const std::vector<std::pair<const char*, Mark>> tweaks = {
      MARK(ShortCutChk), MARK(TailNumChk),       MARK(PasswChk),   MARK(DblClckChk),   MARK(BMPChk),
      MARK(RecycleEdt),  MARK(MenuShowDelayTrk), MARK(WinInstEdt), MARK(DefViewerEdt), MARK(MinCacheTrk),
      MARK(MaxCacheTrk), MARK(MTUEdt),           MARK(RWINEdt),    MARK(TTLCbx)};
  const std::vector<std::pair<const char*, Mark>> boot = {MARK(LogoChk),         MARK(NetworkChk),  MARK(AutoScanChk),
                                                          MARK(BootMultiChk),    MARK(BootGUIChk),  MARK(BootWinChk),
                                                          MARK(BootMenuChk),     MARK(BootKeysChk), MARK(DblSpaceChk),
                                                          MARK(DoubleBufferChk), MARK(BootDelayEdt)};
  MainForm untouched;
  EXPECT_FALSE(TweaksChanged(untouched));
  EXPECT_FALSE(BootChanged(untouched));
  for (const auto& [name, mark] : tweaks) {
    MainForm f;
    mark(f) = 1;
    EXPECT_TRUE(TweaksChanged(f)) << name;
    EXPECT_FALSE(BootChanged(f)) << name;
  }
  for (const auto& [name, mark] : boot) {
    MainForm f;
    mark(f) = 1;
    EXPECT_TRUE(BootChanged(f)) << name;
    EXPECT_FALSE(TweaksChanged(f)) << name;
  }
}

// The sample Windows 98 machine with the window's cycle on it.
class SampleCycle : public ::testing::Test {
 protected:
  SampleCycle()
      : system(ReadFile(sample.file("system.reg"))),
        user(ReadFile(sample.file("user.reg"))),
        boot(ReadFile(BootPath())),
        machine(sample.path(), MachineOptions{nullptr, FixedClock}),
        cycle(std::in_place, machine, form) {}

  std::string BootPath() const { return sample.file("drive_c/MSDOS.SYS"); }
  int Attributes() { return store::GetAttributes(machine, kBootFile); }
  void ExpectRegistryUnchanged() {
    EXPECT_EQ(ReadFile(sample.file("system.reg")), system);
    EXPECT_EQ(ReadFile(sample.file("user.reg")), user);
  }
  void ExpectHiddenAndSystem() {
    EXPECT_EQ(Attributes(), 0x26);
    EXPECT_TRUE(Writable(BootPath()));
    EXPECT_EQ(DosAttrib(BootPath()), "0x6");
  }

  test::SampleCopy sample;
  const std::string system, user, boot;
  store::Machine machine;
  MainForm form;
  std::optional<LoadApplyCycle> cycle;
};

TEST_F(SampleCycle, LoadShowsWhatTheMachineHoldsAndOpensTheBootFile) {
  EXPECT_EQ(Attributes(), 0x27);
  cycle->FormCreate();
  EXPECT_EQ(Attributes(), 0x24);
  EXPECT_TRUE(Writable(BootPath()));
  EXPECT_EQ(DosAttrib(BootPath()), "0x4");

  const MainForm& f = form;
  const std::pair<const CheckBox*, bool> boxes[] = {
      {&f.ShortCutChk, true},  {&f.TailNumChk, true},  {&f.PasswChk, false},       {&f.DblClckChk, false},
      {&f.BMPChk, false},      {&f.LogoChk, true},     {&f.NetworkChk, false},     {&f.AutoScanChk, false},
      {&f.BootMultiChk, true}, {&f.BootGUIChk, false}, {&f.BootWinChk, false},     {&f.BootMenuChk, false},
      {&f.BootKeysChk, false}, {&f.DblSpaceChk, true}, {&f.DoubleBufferChk, false}};
  for (size_t i = 0; i < std::size(boxes); ++i) {
    EXPECT_EQ(boxes[i].first->Checked, boxes[i].second) << "box " << i;
    EXPECT_TRUE(boxes[i].first->Enabled && boxes[i].first->Loaded) << "box " << i;
  }
  const std::pair<const Edit*, std::string> edits[] = {{&f.RecycleEdt, "Корзина"},
                                                       {&f.WinInstEdt, "D:\\WIN98\\"},
                                                       {&f.DefViewerEdt, "C:\\WINDOWS\\NOTEPAD.EXE \"%1\""},
                                                       {&f.BootDelayEdt, "0"}};
  for (const auto& [edit, text] : edits) EXPECT_TRUE(edit->Text == text && edit->Enabled && edit->Loaded) << text;
  EXPECT_EQ(f.MenuShowDelayTrk.Position, 400);
  EXPECT_FALSE(TweaksChanged(f));
  EXPECT_FALSE(BootChanged(f));
  ASSERT_NE(cycle->Registry(), nullptr);

  // Closed with neither OK nor Cancel: nothing written, the file stays shown.
  cycle.reset();
  EXPECT_EQ(Attributes(), 0x24);
  ExpectRegistryUnchanged();
  EXPECT_EQ(ReadFile(BootPath()), boot);
}

TEST_F(SampleCycle, OkWithoutChangesWritesNoSettingAndHidesTheBootFile) {
  cycle->FormCreate();
  cycle->OkBtnClick();
  ExpectRegistryUnchanged();
  EXPECT_EQ(ReadFile(BootPath()), boot);
  ExpectHiddenAndSystem();
}

TEST_F(SampleCycle, OneEditedNameWritesTheWholeTweaksGroupAndNotTheBootFile) {
  cycle->FormCreate();
  form.RecycleEdt.Text = "Мусор";
  form.RecycleEdt.Tag = 1;
  cycle->OkBtnClick();

  std::string expected = WithoutTimes(system);
  const std::string recycle = "[Software\\\\Classes\\\\CLSID\\\\{645FF040-5081-101B-9F08-00AA002F954E}]\n@=";
  size_t at = expected.find(recycle) + recycle.size();
  expected.replace(at, expected.find('\n', at) - at, R"("\x41c\x443\x441\x43e\x440")");
  // Numeric tails in use: the group writes that as no value.
  const std::string tail = "\"NameNumericTail\"=hex:01\n";
  expected.erase(expected.find(tail), tail.size());
  EXPECT_EQ(WithoutTimes(ReadFile(sample.file("system.reg"))), expected);
  EXPECT_EQ(ReadFile(sample.file("user.reg")), user);
  EXPECT_EQ(ReadFile(BootPath()), boot);
  ExpectHiddenAndSystem();
}

TEST_F(SampleCycle, OneBootBoxWritesTheWholeBootPageAndNoRegistry) {
  cycle->FormCreate();
  form.NetworkChk.Checked = true;
  form.NetworkChk.Tag = 1;
  cycle->OkBtnClick();

  std::string expected = boot;
  for (const char* gone : {"BootGUI=1\r\n", "DoubleBuffer=1\r\n", "AutoScan=1\r\n"})
    expected.erase(expected.find(gone), std::string(gone).size());
  expected.insert(expected.find("DrvSpace=0\r\n") + 12, "Network=1\r\n");
  EXPECT_EQ(ReadFile(BootPath()), expected);
  ExpectRegistryUnchanged();
  ExpectHiddenAndSystem();
}

TEST_F(SampleCycle, CancelWritesNothingAndMakesTheBootFileReadOnly) {
  cycle->FormCreate();
  form.RecycleEdt.Text = "Мусор";
  form.RecycleEdt.Tag = 1;
  form.LogoChk.Checked = false;
  form.LogoChk.Tag = 1;
  cycle->BitBtn2Click();
  EXPECT_EQ(cycle->Registry(), nullptr);
  ExpectRegistryUnchanged();
  EXPECT_EQ(ReadFile(BootPath()), boot);
  EXPECT_EQ(Attributes(), 0x27);
  EXPECT_FALSE(Writable(BootPath()));
  EXPECT_EQ(DosAttrib(BootPath()), "0x6");
}

const std::string kLnk = R"(Software\Classes\lnkfile)";
const std::string kPif = R"(Software\Classes\piffile)";
const std::string kRecycle = R"(Software\Classes\CLSID\{645FF040-5081-101B-9F08-00AA002F954E})";
const std::string kSetup = R"(Software\Microsoft\Windows\CurrentVersion\Setup)";
const std::string kVerbCommand = R"(Software\Classes\*\Shell\1DE\Command)";
const std::string kBoot = "[Options]\r\nLogo=0\r\nBootMulti=1\r\nBootDelay=5\r\n";

// A small machine with a boot file, and the window's cycle on it.
struct SmallCycle {
  explicit SmallCycle(const RegKeys& keys, store::FileSystem* fs = nullptr)
      : prefix(RegFile(keys), RegFile({{R"(Control Panel\desktop)", R"("MenuShowDelay"="250")"}}, true)),
        machine(Prepare(prefix), MachineOptions{fs, FixedClock}),
        cycle(machine, form) {}
  static std::string Prepare(const test::TempPrefix& p) {
    test::WriteFile(p.file("drive_c/MSDOS.SYS"), kBoot);
    return p.path();
  }
  std::string System() const { return ReadFile(prefix.file("system.reg")); }
  std::string User() const { return ReadFile(prefix.file("user.reg")); }
  std::string Boot() const { return ReadFile(prefix.file("drive_c/MSDOS.SYS")); }
  int Attributes() { return store::GetAttributes(machine, kBootFile); }
  // Runs a handler as the window does: an error ends it, and the registry
  // reaches the disk afterwards in any case.
  std::string ErrorOf(const std::function<void()>& f) {
    std::string error = "no error";
    try {
      f();
    } catch (const store::EStoreError& e) {
      error = e.what();
    }
    try {
      machine.Flush();
    } catch (const store::EStoreError& e) {
      if (error == "no error") error = e.what();
    }
    return error;
  }

  test::TempPrefix prefix;
  store::Machine machine;
  MainForm form;
  LoadApplyCycle cycle;
};

RegKeys SmallMachine() {
  return {{kLnk, R"("IsShortcut"="")"},
          {kPif, R"("IsShortcut"="")"},
          {kRecycle, R"(@="Recycled")"},
          {kSetup, R"("SourcePath"="D:\\WIN98\\")"},
          {kVerbCommand, R"(@="C:\\WINDOWS\\NOTEPAD.EXE \"%1\"")"}};
}

TEST(Cycle, ALoadEndedByAnErrorWritesOnlyWhatItLoaded) {
  RegKeys keys = SmallMachine();
  keys[2].second = "@=dword:00000001";
  SmallCycle c(keys);
  EXPECT_EQ(c.ErrorOf([&] { c.cycle.FormCreate(); }), "Invalid data type for ''");
  EXPECT_EQ(c.Attributes(), 0x24);
  EXPECT_FALSE(c.form.LogoChk.Loaded || c.form.BootDelayEdt.Loaded);
  EXPECT_FALSE(c.form.LogoChk.Checked);  // the file says 0, the load never got there
  const std::string user = c.User();

  c.form.ShortCutChk.Checked = false;
  c.form.ShortCutChk.Tag = 1;
  c.form.LogoChk.Tag = 1;
  c.cycle.OkBtnClick();
  EXPECT_EQ(KeyValues(c.System(), kLnk), "");
  EXPECT_EQ(KeyValues(c.System(), kPif), "");
  EXPECT_EQ(KeyValues(c.System(), kSetup), "\"SourcePath\"=\"D:\\\\WIN98\\\\\"\n");
  EXPECT_EQ(KeyValues(c.System(), kVerbCommand), "@=\"C:\\\\WINDOWS\\\\NOTEPAD.EXE \\\"%1\\\"\"\n");
  EXPECT_EQ(c.User(), user);
  EXPECT_EQ(c.Boot(), kBoot);
  EXPECT_EQ(c.Attributes(), 0x26);
}

TEST(Cycle, ASecondOkAfterAFailedApplyStillWritesTheBootPage) {
  RegKeys keys = SmallMachine();
  keys[1].second = test::LinkTo(R"(Software\Missing)");
  SmallCycle c(keys);
  c.cycle.FormCreate();
  c.form.LogoChk.Checked = false;
  c.form.LogoChk.Tag = 1;
  c.form.RecycleEdt.Text = "Bin";
  c.form.RecycleEdt.Tag = 1;
  EXPECT_EQ(c.ErrorOf([&] { c.cycle.OkBtnClick(); }), "Failed to set data for 'IsShortcut'");
  EXPECT_EQ(c.Boot(), "[Options]\r\nBootMulti=1\r\nBootDelay=5\r\n");
  EXPECT_EQ(c.Attributes(), 0x24);  // the window stays open: the file too

  // The user clears the shortcut arrows and changes the delay, then OK again.
  c.form.ShortCutChk.Checked = false;
  c.form.ShortCutChk.Tag = 1;
  c.form.BootDelayEdt.Text = "3";
  c.form.BootDelayEdt.Tag = 1;
  c.cycle.OkBtnClick();
  EXPECT_EQ(c.Boot(), "[Options]\r\nBootMulti=1\r\nBootDelay=3\r\n");
  EXPECT_EQ(KeyValues(c.System(), kLnk), "");
  EXPECT_EQ(KeyValues(c.System(), kRecycle), "@=\"Bin\"\n");
  EXPECT_EQ(c.Attributes(), 0x26);
}

TEST(Cycle, AFailedApplyKeepsWhatItWroteBeforeTheError) {
  RegKeys keys = SmallMachine();
  keys[0].second = "";
  keys[1].second = test::LinkTo(R"(Software\Missing)");
  SmallCycle c(keys);
  c.cycle.FormCreate();
  c.form.ShortCutChk.Checked = true;
  c.form.ShortCutChk.Tag = 1;
  EXPECT_EQ(c.ErrorOf([&] { c.cycle.OkBtnClick(); }), "Failed to set data for 'IsShortcut'");
  c.cycle.BitBtn2Click();
  EXPECT_EQ(KeyValues(c.System(), kLnk), "\"IsShortcut\"=\"\"\n");
  EXPECT_EQ(c.Attributes(), 0x27);
}

TEST(Cycle, TheLoadsOwnRegistryChangesReachTheDiskAlsoOnCancel) {
  RegKeys keys = SmallMachine();
  keys.emplace_back(R"(Software\Logitech\MouseWare\CurrentVersion\SerialV\0000)", R"("DoubleClick"="001")");
  SmallCycle c(keys);
  EXPECT_EQ(c.ErrorOf([&] { c.cycle.FormCreate(); }), "no error");
  EXPECT_EQ(c.ErrorOf([&] { c.cycle.BitBtn2Click(); }), "no error");
  EXPECT_FALSE(test::HasKey(c.System(), R"(Software\Logitech)"));
}

// Lets the rename that replaces system.reg fail while `failing` is set.
class FailingRename : public store::FileSystem {
 public:
  int Rename(const char* from, const char* to) override {
    if (failing && std::string_view(to).ends_with("/system.reg")) {
      errno = EIO;
      return -1;
    }
    return FileSystem::Rename(from, to);
  }
  bool failing = false;
};

TEST(Cycle, ARegistryThatCannotBeWrittenKeepsTheWindowAndTheBootFileOpen) {
  FailingRename fs;
  SmallCycle c(SmallMachine(), &fs);
  c.cycle.FormCreate();
  const std::string system = c.System();
  c.form.RecycleEdt.Text = "Bin";
  c.form.RecycleEdt.Tag = 1;
  fs.failing = true;
  EXPECT_EQ(c.ErrorOf([&] { c.cycle.OkBtnClick(); }), "Unable to write to " + c.machine.prefix() + "/system.reg");
  EXPECT_EQ(c.System(), system);
  EXPECT_EQ(c.Attributes(), 0x24);

  fs.failing = false;
  c.cycle.OkBtnClick();
  EXPECT_EQ(KeyValues(c.System(), kRecycle), "@=\"Bin\"\n");
  EXPECT_EQ(c.Attributes(), 0x26);
}

}  // namespace
}  // namespace frambul::engine
