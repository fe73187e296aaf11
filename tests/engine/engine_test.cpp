// The load-and-apply cycle on small machines holding just the keys of each case: what the Misc, Useful and
// Boot pages show, what OK leaves in the registry and "C:\MSDOS.Sys", the clean-up before the load, the marks.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/cycle.h"
#include "engine/store/errors.h"
#include "engine/tweaks.h"
#include "support/handler.h"
#include "support/temp_prefix.h"

namespace frambul::engine {
namespace {

// Key paths as the registry files spell them, with single backslashes.
const std::string kLnk = R"(Software\Classes\lnkfile)";
const std::string kPif = R"(Software\Classes\piffile)";
const std::string kFileSystem = R"(System\CurrentControlSet\Control\FileSystem)";
const std::string kPolicy = R"(Software\Microsoft\Windows\CurrentVersion\Policies\Network)";
const std::string kSerial = R"(Software\Logitech\MouseWare\CurrentVersion\SerialV\0000)";
const std::string kRecycle = R"(Software\Classes\CLSID\{645FF040-5081-101B-9F08-00AA002F954E})";
const std::string kIcon = R"(Software\Classes\Paint.Picture\DefaultIcon)";
const std::string kOpen = R"(Software\Classes\Paint.Picture\shell\open\command)";
const std::string kDesktop = R"(Control Panel\desktop)";
const std::string kSetup = R"(Software\Microsoft\Windows\CurrentVersion\Setup)";
const std::string kVerb = R"(Software\Classes\*\Shell\1DE)";
const std::string kCommand = R"(Software\Classes\*\Shell\1DE\Command)";
const std::string kTail = "\"NameNumericTail\"=";
const std::string kMouse = "\"Buttons\"=\"3\"\n\"DoubleClick\"=";
// A link to "X", a key that does not exist: it can be neither opened nor created.
const std::string kBrokenLink = "#link\n\"SymbolicLinkValue\"=hex(6):58,00";

// Each key with its value lines; keys under "Control Panel" are the user's.
using Keys = std::vector<std::pair<std::string, std::string>>;

std::string RegFile(const Keys& keys, bool user) {
  std::string text = "WINE REGISTRY Version 2\n";
  for (const auto& [path, values] : keys) {
    if (path.starts_with("Control Panel") != user) continue;
    text += test::KeyText(path, values);
  }
  return text;
}

// A machine with the given registry keys and boot file, and the window's
// cycle on it, loaded. Each handler runs as the window runs it: an error ends
// it, and the registry is flushed afterwards.
struct Small {
  explicit Small(const Keys& keys, const std::string& boot = "")
      : prefix(RegFile(keys, false), RegFile(keys, true)),
        machine(prefix.path(), store::MachineOptions{nullptr, test::FixedClock}),
        cycle(machine, form) {
    test::WriteFile(prefix.file("drive_c/MSDOS.SYS"), boot);
    loadError = Run([this] { cycle.FormCreate(); });
  }

  std::string Run(const std::function<void()>& handler) { return test::RunHandler(machine, handler); }
  // OK with a mark in the tweaks group, the boot group or both.
  std::string Ok(bool tweaks = true, bool boot = true) {
    form.RecycleEdt.Tag = tweaks;
    form.LogoChk.Tag = boot;
    return Run([this] { cycle.OkBtnClick(); });
  }
  std::string Boot() const { return test::ReadFile(prefix.file("drive_c/MSDOS.SYS")); }
  std::string Registry(const std::string& path) const {
    return test::ReadFile(prefix.file(path.starts_with("Control Panel") ? "user.reg" : "system.reg")) + "\n";
  }
  // Where the block of a key starting with `head` begins in `text`, found
  // without regard to case: the apply creates keys in its own spelling.
  static size_t Find(const std::string& text, const std::string& head) {
    auto same = [](char a, char b) { return std::tolower(a) == std::tolower(b); };
    return std::search(text.begin(), text.end(), head.begin(), head.end(), same) - text.begin();
  }
  // True when the file holds the key or a key below it.
  bool HasKey(const std::string& path) const {
    return Find(Registry(path), "\n[" + test::Doubled(path)) != Registry(path).size();
  }
  // The value lines of the key, or nothing when the file has no such key.
  std::optional<std::string> Values(const std::string& path) const {
    const std::string text = Registry(path);
    size_t at = Find(text, "\n[" + test::Doubled(path) + "]");
    if (at == text.size()) return std::nullopt;
    at = text.find('\n', at + 1);
    while (text[at + 1] == '#') at = text.find('\n', at + 1);  // the key's time, a link's mark
    size_t end = text.find("\n\n", at);
    return end == at ? "" : text.substr(at + 1, end - at - 1);
  }

  test::TempPrefix prefix;
  store::Machine machine;
  MainForm form;
  LoadApplyCycle cycle;
  std::string loadError;
};

// What a control shows, as one text.
std::string State(const CheckBox& b) { return std::string(b.Checked ? "on" : "off") + (b.Enabled ? "" : " disabled"); }
std::string State(const Edit& e) { return "[" + e.Text + "]" + (e.Enabled ? "" : " disabled"); }
std::string State(const TrackBar& t) { return std::to_string(t.Position) + (t.Enabled ? "" : " disabled"); }
#define SHOWN(control) [](const MainForm& f) { return State(f.control); }
#define SET(control, field, value) [](MainForm& f) { f.control.field = value; }

// What each control of the Misc and Useful pages shows of its key, and which are disabled without them.
TEST(Tweaks, EachControlShowsWhatItsKeyHoldsAndIsDisabledWithoutIt) {
  const std::tuple<Keys, std::string (*)(const MainForm&), std::string> cases[] = {
      {{{kLnk, R"("IsShortcut"=dword:00000001)"}}, SHOWN(ShortCutChk), "on"},
      {{{kLnk, ""}, {kPif, R"("IsShortcut"="")"}}, SHOWN(ShortCutChk), "off"},
      {{{kFileSystem, ""}}, SHOWN(TailNumChk), "on"},
      {{{kFileSystem, kTail + "hex:00,01"}}, SHOWN(TailNumChk), "on"},
      {{{kFileSystem, kTail + "dword:00000000"}}, SHOWN(TailNumChk), "on"},  // removed by the clean-up
      {{{kPolicy, R"("DisablePwdCaching"=dword:00000001)"}}, SHOWN(PasswChk), "on"},
      {{{kPolicy, R"("DisablePwdCaching"="1")"}}, SHOWN(PasswChk), "off"},
      {{{kSerial, kMouse + R"("001")"}}, SHOWN(DblClckChk), "on"},
      {{{kSerial, kMouse + "dword:00000001"}}, SHOWN(DblClckChk), "off"},
      {{{kRecycle, R"(@="Recycled")"}}, SHOWN(RecycleEdt), "[Recycled]"},
      {{{kIcon, R"(@="%1")"}}, SHOWN(BMPChk), "on"},
      {{{kDesktop, R"("MenuShowDelay"="-5")"}}, SHOWN(MenuShowDelayTrk), "0"},
      {{{kCommand, R"(@="V")"}}, SHOWN(DefViewerEdt), "[V]"},
  };
  for (const auto& [keys, shown, expected] : cases) {
    SCOPED_TRACE(keys.back().first + ": " + keys.back().second);
    Small m(keys);
    EXPECT_EQ(m.loadError, "");  // a failed guarded read ends nothing
    EXPECT_EQ(shown(m.form), expected);
  }
  // Without keys all is disabled but the delay, whose key the load makes, and the
  // viewer. The apply's rows that write back what was loaded show the rest.
  Small empty({});
  const MainForm& f = empty.form;
  EXPECT_EQ(State(f.ShortCutChk) + State(f.TailNumChk) + State(f.PasswChk) + State(f.DblClckChk) + State(f.BMPChk) +
                State(f.RecycleEdt) + State(f.MenuShowDelayTrk) + State(f.WinInstEdt) + State(f.DefViewerEdt),
            "off disabledoff disabledoff disabledoff disabledoff disabled[] disabled400[] disabled[]");
}

// The values OK leaves in each setting's key, from its control or from what was loaded.
TEST(Tweaks, OkWritesEachEnabledSettingFromItsControl) {
  const std::string open = R"(Software\Classes\*\Shell\open)";  // another verb beside the viewer's
  // The key's values after OK; none: no such key.
  const std::tuple<Keys, void (*)(MainForm&), std::string, std::optional<std::string>> cases[] = {
      {{{kLnk, R"("IsShortcut"="")"}, {kPif, ""}}, {}, kPif, R"("IsShortcut"="")"},
      {{{kPif, R"("IsShortcut"="")"}}, SET(ShortCutChk, Checked, true), kPif, ""},  // disabled: cleared
      // Values of older versions go before the load.
      {{{kFileSystem, kTail + "hex:00\n\"NameNumericTrail\"=hex:01"}}, {}, kFileSystem, kTail + "hex:00,00"},
      {{{kIcon, "@=\"%1\"\n\"BackUp\"=\"x\""}}, {}, kIcon, R"(@="%1")"},
      {{{kFileSystem, kTail + "\"0\""}}, SET(TailNumChk, Checked, true), kFileSystem, kTail + "\"0\""},
      {{{kPolicy, "\"DisablePwdCaching\"=dword:00000002\n\"X\"=\"1\""}}, {}, kPolicy, R"("X"="1")"},
      {{}, SET(PasswChk, Checked, true), kPolicy, std::nullopt},
      {{{kSerial, kMouse + R"("0010")"}}, {}, kSerial, kMouse + R"("001")"},
      {{}, SET(DblClckChk, Checked, true), kSerial, std::nullopt},
      {{{kRecycle, R"(@="Recycled")"}}, SET(RecycleEdt, Text, ""), kRecycle, R"(@="")"},
      {{}, SET(RecycleEdt, Text, "Bin"), kRecycle, std::nullopt},
      // Unchecked: the icon of the program that opens bitmaps, its path up to ".EXE".
      {{{kIcon, ""}, {kOpen, R"(@="C:\\P.EXE %1")"}}, {}, kIcon, R"(@="C:\\P.EXE,1")"},
      {{{kIcon, ""}, {kOpen, R"(@="\"C:\\A.exe\\B.EXE\" %1")"}}, {}, kIcon, R"(@="C:\\A.exe,1")"},
      {{{kIcon, ""}, {kOpen, R"(@="mspaint %1")"}}, {}, kIcon, R"(@="msp,1")"},
      // No program to take the icon from: the setting goes, other values stay.
      {{{kIcon, "@=\"x\"\n\"X\"=\"1\""}, {kOpen, R"(@="")"}}, {}, kIcon, R"("X"="1")"},
      {{}, SET(BMPChk, Checked, true), kIcon, std::nullopt},
      {{{kDesktop, R"("MenuShowDelay"="1500")"}}, {}, kDesktop, R"("MenuShowDelay"="1000")"},
      {{{kDesktop, R"("MenuShowDelay"="abc")"}}, {}, kDesktop, R"("MenuShowDelay"="400")"},
      {{{kDesktop, kBrokenLink}}, SET(MenuShowDelayTrk, Position, 120), kDesktop, kBrokenLink.substr(6)},
      {{{kSetup, R"("SourcePath"=dword:00000001)"}}, {}, kSetup, R"("SourcePath"="")"},
      {{}, SET(WinInstEdt, Text, "E:\\"), kSetup, R"("SourcePath"="E:\\")"},  // disabled, written all the same
      {{}, SET(DefViewerEdt, Text, "V"), kVerb, R"(@="\x41f\x440\x43e\x441\x43c\x43e\x442\x440")"},  // «Просмотр»
      {{}, SET(DefViewerEdt, Text, "V"), kCommand, R"(@="V")"},
      {{{kCommand, R"(@="V")"}, {open, ""}}, SET(DefViewerEdt, Text, ""), kVerb, std::nullopt},
      {{{kCommand, R"(@="V")"}, {open, ""}}, SET(DefViewerEdt, Text, ""), open, ""},
  };
  for (const auto& [keys, edit, path, expected] : cases) {
    SCOPED_TRACE(path + (keys.empty() ? "" : " after " + keys.back().second));
    Small m(keys);
    if (edit) edit(m.form);
    EXPECT_EQ(m.Ok(), "");
    EXPECT_EQ(m.Values(path), expected);
  }
}

// An OK after a load ended by an error writes only what the load reached; a write into a key that cannot be
// made fails instead of landing in the key before.
TEST(Tweaks, AnOkWritesOnlyWhatTheLoadReachedAndWhereItCan) {
  const Keys keys = {
      {kLnk, R"("IsShortcut"="")"},           {kRecycle, "@=dword:00000001"},     {kIcon, R"(@="x")"},
      {kDesktop, R"("MenuShowDelay"="250")"}, {kSetup, R"("SourcePath"="D:\\")"}, {kCommand, R"(@="V")"}};
  Small m(keys, "[Options]\r\nLogo=0\r\n");
  EXPECT_EQ(m.loadError, "Invalid data type for ''");
  m.form.ShortCutChk.Checked = false;
  EXPECT_EQ(m.Ok(), "");
  EXPECT_EQ(m.Values(kLnk), "");  // loaded before the error: written
  for (size_t i = 1; i < keys.size(); ++i) EXPECT_EQ(m.Values(keys[i].first), keys[i].second);
  EXPECT_EQ(m.Boot(), "[Options]\r\nLogo=0\r\n");
  EXPECT_EQ(Small({{kLnk, R"("IsShortcut"="")"}, {kPif, kBrokenLink}}).Ok(), "Failed to set data for 'IsShortcut'");
}

// A mouse key with at most one value goes, with each parent it empties up to
// the maker's key; settings of other programs beside it stay.
TEST(Tweaks, CleanUpRemovesALeftoverMouseKeyOnly) {
  const std::string logitech = R"(Software\Logitech)", mouseWare = logitech + R"(\MouseWare)";
  // Each case: the keys, a key gone, a key kept.
  const std::tuple<Keys, std::string, std::string> mice[] = {
      {{{kSerial, R"("DoubleClick"="001")"}}, logitech, "Software"},
      {{{kSerial, ""}, {logitech + R"(\Other)", R"("X"="")"}}, mouseWare, logitech + R"(\Other)"},
      {{{kSerial, ""}, {logitech, R"("X"="")"}}, mouseWare, logitech},
  };
  for (const auto& [keys, gone, kept] : mice) {
    Small mouse(keys);
    EXPECT_FALSE(mouse.HasKey(gone)) << gone;
    EXPECT_TRUE(mouse.HasKey(kept)) << kept;
  }
}

// Each group holds exactly its controls, in the order its test reads them,
// and one mark alone changes its own group only.
TEST(ChangeMarks, EachGroupIsChangedByEveryOneOfItsOwnMarksAlone) {
  MainForm f;
  std::string groups[2];
  ForEachSettingsControl(f, [&](const char* name, Group group, auto& control) {
    groups[group == Group::Boot] += std::string(name) + " ";
    control.Tag = 1;
    EXPECT_TRUE(TweaksChanged(f) == (group == Group::Tweaks) && BootChanged(f) == (group == Group::Boot)) << name;
    control.Tag = 0;
  });
  EXPECT_EQ(groups[0],
            "ShortCutChk TailNumChk PasswChk DblClckChk BMPChk RecycleEdt MenuShowDelayTrk WinInstEdt DefViewerEdt "
            "MinCacheTrk MaxCacheTrk MTUEdt RWINEdt TTLCbx ");
  EXPECT_EQ(groups[1],
            "LogoChk NetworkChk AutoScanChk BootMultiChk BootGUIChk BootWinChk BootMenuChk BootKeysChk DblSpaceChk "
            "DoubleBufferChk BootDelayEdt ");
}

const std::string kHead = "[Options]\r\nWinVer=4.10.2222\r\n", kEnd = ";\r\n[Paths]\r\nWinDir=C:\\WINDOWS\r\n";

const struct {
  CheckBox MainForm::*box;
  std::string other;  // lines that show the box unchecked
  std::string lines;  // what a checked box writes, and shows it checked
} kSwitches[] = {
    {&MainForm::LogoChk, "Logo=1\r\n", "Logo=0\r\n"},
    {&MainForm::NetworkChk, "Network=0\r\n", "Network=1\r\n"},
    {&MainForm::AutoScanChk, "AutoScan=2\r\n", "AutoScan=0\r\n"},
    {&MainForm::BootMultiChk, "BootMulti=yes\r\n", "BootMulti=1\r\n"},
    {&MainForm::BootGUIChk, "BootGUI=1\r\n", "BootGUI=0\r\n"},
    {&MainForm::BootWinChk, "BootWin=00\r\n", "BootWin=0\r\n"},
    {&MainForm::BootMenuChk, "BootMenu=\r\n", "BootMenu=1\r\n"},
    {&MainForm::DblSpaceChk, "DblSpace=1\r\nDrvSpace=0\r\n", "DblSpace=0\r\nDrvSpace=0\r\n"},
    {&MainForm::DoubleBufferChk, "DoubleBuffer=0 1\r\n", "DoubleBuffer=0\r\n"},
    {&MainForm::BootKeysChk, "BootKeys=O\r\n", "BootKeys=0\r\n"},
};

// Each switch checked among the others unchecked by other values: its box alone shows checked, and a boot
// change keeps its key and removes the others.
TEST(BootOptions, EachSwitchLoadsFromItsKeyAndIsWrittenInThePagesOrderWithTheBootGroupOnly) {
  for (const auto& s : kSwitches) {
    std::string lines;
    for (const auto& each : kSwitches) lines += &each == &s ? each.lines : each.other;
    Small one({}, kHead + lines + kEnd);
    for (const auto& each : kSwitches) EXPECT_EQ((one.form.*each.box).Checked, &each == &s) << lines;
    EXPECT_EQ(one.form.BootWinChk.Enabled, s.box == &MainForm::BootMultiChk);
    EXPECT_EQ(one.Ok(false, true), "");
    EXPECT_EQ(one.Boot(), kHead + s.lines + kEnd);
    EXPECT_EQ(one.Values(kLnk), std::nullopt);  // the tweaks group is not written
  }
  // All checked: the keys go in the page's order, the delay as typed unless it is two or no number.
  Small boot({}, "[Options]\r\n; switches\r\n[Other]\r\nLogo=0\r\n");
  EXPECT_EQ(boot.form.BootDelayEdt.Text, "2");
  for (const auto& s : kSwitches) {
    EXPECT_FALSE((boot.form.*s.box).Checked) << s.lines;
    (boot.form.*s.box).Checked = true;
  }
  boot.form.BootDelayEdt.Text = "5";
  EXPECT_EQ(boot.Ok(), "");
  EXPECT_EQ(
      boot.Boot(),
      "[Options]\r\nLogo=0\r\nNetwork=1\r\nAutoScan=0\r\nBootMulti=1\r\nBootGUI=0\r\nBootWin=0\r\nBootMenu=1\r\n"
      "BootDelay=5\r\nDblSpace=0\r\nDrvSpace=0\r\nDoubleBuffer=0\r\nBootKeys=0\r\n; switches\r\n[Other]\r\nLogo=0\r\n");

  auto applied = [](const std::string& text) {
    Small delay({}, kHead + "BootDelay=7\r\n");
    delay.form.BootDelayEdt.Text = text;
    EXPECT_EQ(delay.Ok(), "");
    return delay.Boot();
  };
  for (const char* text : {"2", "02", "", "a", "99999999999"}) EXPECT_EQ(applied(text), kHead) << '"' << text << '"';
  for (const char* text : {"0", " 5"}) EXPECT_EQ(applied(text), kHead + "BootDelay=" + text + "\r\n");
}

}  // namespace
}  // namespace frambul::engine
