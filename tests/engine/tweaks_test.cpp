// The registry tweaks of the Misc and Useful pages: what each control shows
// for what the machine holds, what the apply leaves in system.reg and
// user.reg, and the clean-up of leftovers that runs before the load.

#include "engine/tweaks.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/machine_text.h"
#include "engine/store/errors.h"
#include "support/temp_prefix.h"

namespace frambul::engine {
namespace {

using test::HasKey;
using test::KeyValues;
using test::ReadFile;
using test::RegFile;
using test::RegKeys;

const std::string kLnk = R"(Software\Classes\lnkfile)";
const std::string kPif = R"(Software\Classes\piffile)";
const std::string kFileSystem = R"(System\CurrentControlSet\Control\FileSystem)";
const std::string kPolicy = R"(Software\Microsoft\Windows\CurrentVersion\Policies\Network)";
const std::string kLogitech = R"(Software\Logitech)";
const std::string kSerial = R"(Software\Logitech\MouseWare\CurrentVersion\SerialV\0000)";
const std::string kRecycle = R"(Software\Classes\CLSID\{645FF040-5081-101B-9F08-00AA002F954E})";
const std::string kIcon = R"(Software\Classes\Paint.Picture\DefaultIcon)";
const std::string kOpen = R"(Software\Classes\Paint.Picture\shell\open\command)";
const std::string kSetup = R"(Software\Microsoft\Windows\CurrentVersion\Setup)";
const std::string kShell = R"(Software\Classes\*\Shell)";
const std::string kVerb = R"(Software\Classes\*\Shell\1DE)";
const std::string kVerbCommand = R"(Software\Classes\*\Shell\1DE\Command)";
const std::string kDesktop = R"(Control Panel\desktop)";

const std::string kViewerCaption = R"(@="\x41f\x440\x43e\x441\x43c\x43e\x442\x440")"
                                   "\n";  // «Просмотр»
const std::string kBrokenLink = test::LinkTo(R"(Software\Missing)");

// Keys to replace (values given) or leave out (none) on the full machine;
// keys under "Control Panel" are the user's.
using Changes = std::vector<std::pair<std::string, std::optional<std::string>>>;

RegKeys Build(RegKeys keys, const Changes& changes, bool user) {
  for (const auto& [path, values] : changes) {
    if (path.starts_with("Control Panel") != user) continue;
    std::erase_if(keys, [&](const auto& k) { return k.first == path; });
    if (values) keys.emplace_back(path, *values);
  }
  return keys;
}

// On this machine every tweak has its key and a value that the apply writes
// back unchanged.
const RegKeys kFullSystem = {
    {kLnk, R"("IsShortcut"="")"},
    {kPif, R"("IsShortcut"="")"},
    {kFileSystem, R"("Win31FileSystem"=hex:00)"},
    {kPolicy, R"("DisablePwdCaching"=dword:00000001)"},
    {kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=\"001\""},
    {kRecycle, R"(@="Recycled")"},
    {kIcon, R"(@="%1")"},
    {kOpen, R"(@="C:\\WINDOWS\\PBRUSH.EXE \"%1\"")"},
    {kSetup, R"("SourcePath"="D:\\WIN98\\")"},
    {kShell + R"(\open)", ""},
    {kVerb, kViewerCaption},
    {kVerbCommand, R"(@="C:\\WINDOWS\\NOTEPAD.EXE \"%1\"")"},
};
const RegKeys kFullUser = {{kDesktop, R"("MenuShowDelay"="250")"}};

// One machine, its registry accessor and the window's controls.
struct TweakMachine {
  explicit TweakMachine(const Changes& changes = {}, const RegKeys& system = kFullSystem)
      : prefix(RegFile(Build(system, changes, false)), RegFile(Build(kFullUser, changes, true), true)),
        machine(prefix.path(), store::MachineOptions{nullptr, test::FixedClock}),
        registry(machine) {}

  TweakMachine& Load() {
    CleanUpLeftovers(registry);
    LoadTweaks(registry, form);
    return *this;
  }
  void Apply() {
    ApplyTweaks(registry, form);
    machine.Flush();
  }
  std::string System() const { return ReadFile(prefix.file("system.reg")); }
  std::string User() const { return ReadFile(prefix.file("user.reg")); }
  std::optional<std::string> Values(const std::string& path) const {
    return KeyValues(path.starts_with("Control Panel") ? User() : System(), path);
  }

  test::TempPrefix prefix;
  store::Machine machine;
  store::TRegistry registry;
  MainForm form;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const store::EStoreError& e) {
    return e.what();
  }
  return "no error";
}

// What a control shows, as one text.
std::string State(const CheckBox& b) { return std::string(b.Checked ? "on" : "off") + (b.Enabled ? "" : " disabled"); }
std::string State(const Edit& e) { return "[" + e.Text + "]" + (e.Enabled ? "" : " disabled"); }
std::string State(const TrackBar& t) {
  return std::to_string(t.Position) + (t.Enabled ? "" : " disabled") + (t.Tag ? " marked" : "");
}
#define SHOWN(control) [](const MainForm& f) { return State(f.control); }
#define SET(control, field, value) [](MainForm& f) { f.control.field = value; }

TEST(Tweaks, AMachineWithEverySettingLoadsAllAndAppliesItBackUnchanged) {
  TweakMachine m;
  m.Load();
  const MainForm& f = m.form;
  for (const CheckBox* box : {&f.ShortCutChk, &f.TailNumChk, &f.PasswChk, &f.DblClckChk, &f.BMPChk})
    EXPECT_TRUE(box->Checked && box->Enabled && box->Loaded && box->Tag == 0);
  EXPECT_EQ(State(f.RecycleEdt), "[Recycled]");
  EXPECT_EQ(State(f.MenuShowDelayTrk), "250");
  EXPECT_EQ(State(f.WinInstEdt), "[D:\\WIN98\\]");
  EXPECT_EQ(State(f.DefViewerEdt), "[C:\\WINDOWS\\NOTEPAD.EXE \"%1\"]");
  EXPECT_TRUE(f.RecycleEdt.Loaded && f.MenuShowDelayTrk.Loaded && f.WinInstEdt.Loaded && f.DefViewerEdt.Loaded);

  const std::string system = m.System(), user = m.User();
  m.Apply();
  EXPECT_EQ(m.System(), system);
  EXPECT_EQ(m.User(), user);
}

struct LoadCase {
  std::string path;
  std::optional<std::string> values;
  std::string (*shown)(const MainForm&);
  std::string expected;
};

TEST(Tweaks, EachControlShowsWhatItsKeyHolds) {
  const std::string tail = "\"Win31FileSystem\"=hex:00\n\"NameNumericTail\"=";
  const LoadCase cases[] = {
      {kLnk, R"("IsShortcut"=dword:00000001)", SHOWN(ShortCutChk), "on"},
      {kLnk, R"("EditFlags"=hex:01,00,00,00)", SHOWN(ShortCutChk), "off"},  // piffile alone has it
      {kLnk, std::nullopt, SHOWN(ShortCutChk), "off disabled"},
      {kFileSystem, "\"Win31FileSystem\"=hex:00", SHOWN(TailNumChk), "on"},
      {kFileSystem, tail + "hex:00", SHOWN(TailNumChk), "off"},
      {kFileSystem, tail + "hex:01", SHOWN(TailNumChk), "on"},
      {kFileSystem, tail + "hex:00,00", SHOWN(TailNumChk), "off"},
      {kFileSystem, tail + "hex:00,01", SHOWN(TailNumChk), "on"},
      {kFileSystem, tail + "hex:", SHOWN(TailNumChk), "off"},
      {kFileSystem, tail + "hex(0):00,00", SHOWN(TailNumChk), "off"},  // other kinds are read as bytes
      {kFileSystem, tail + "hex(0):05", SHOWN(TailNumChk), "on"},
      {kFileSystem, tail + "hex:00,00,00", SHOWN(TailNumChk), "off disabled"},
      {kFileSystem, tail + "\"0\"", SHOWN(TailNumChk), "off disabled"},
      {kFileSystem, tail + "str(2):\"0\"", SHOWN(TailNumChk), "off disabled"},
      {kFileSystem, tail + "hex(4):00,00,00,00,00", SHOWN(TailNumChk), "off disabled"},
      {kFileSystem, tail + "dword:00000000", SHOWN(TailNumChk), "on"},  // removed by the clean-up
      {kFileSystem, tail + "hex(4):00,00", SHOWN(TailNumChk), "on"},
      {kFileSystem, std::nullopt, SHOWN(TailNumChk), "off disabled"},
      {kPolicy, R"("DisablePwdCaching"=dword:00000002)", SHOWN(PasswChk), "off"},
      {kPolicy, R"("DisablePwdCaching"="1")", SHOWN(PasswChk), "off"},
      {kPolicy, R"("DisablePwdCaching"=hex:01,00,00,00)", SHOWN(PasswChk), "off"},
      {kPolicy, R"("NoDialIn"=dword:00000001)", SHOWN(PasswChk), "off"},
      {kPolicy, std::nullopt, SHOWN(PasswChk), "off disabled"},
      {kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=\"0010\"", SHOWN(DblClckChk), "on"},
      {kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=\"000\"", SHOWN(DblClckChk), "off"},
      {kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=\"01\"", SHOWN(DblClckChk), "off"},
      {kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=\"001 \"", SHOWN(DblClckChk), "off"},
      {kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=dword:00000001", SHOWN(DblClckChk), "off"},
      {kSerial, std::nullopt, SHOWN(DblClckChk), "off disabled"},
      {kRecycle, R"("InfoTip"="x")", SHOWN(RecycleEdt), "[]"},
      {kRecycle, std::nullopt, SHOWN(RecycleEdt), "[] disabled"},
      {kIcon, R"(@="%1 ")", SHOWN(BMPChk), "off"},
      {kIcon, R"(@="C:\\WINDOWS\\PBRUSH.EXE,1")", SHOWN(BMPChk), "off"},
      {kIcon, "", SHOWN(BMPChk), "off"},
      {kIcon, std::nullopt, SHOWN(BMPChk), "off disabled"},
      {kDesktop, R"("MenuShowDelay"="1500")", SHOWN(MenuShowDelayTrk), "1000"},
      {kDesktop, R"("MenuShowDelay"="-5")", SHOWN(MenuShowDelayTrk), "0"},
      {kDesktop, R"("MenuShowDelay"=" 300")", SHOWN(MenuShowDelayTrk), "300"},
      {kDesktop, R"("MenuShowDelay"="$12C")", SHOWN(MenuShowDelayTrk), "300"},
      {kDesktop, R"("MenuShowDelay"="abc")", SHOWN(MenuShowDelayTrk), "400"},
      {kDesktop, R"("MenuShowDelay"="300ms")", SHOWN(MenuShowDelayTrk), "400"},
      {kDesktop, R"("MenuShowDelay"=dword:000000fa)", SHOWN(MenuShowDelayTrk), "400"},
      {kDesktop, R"("CoolSwitch"="1")", SHOWN(MenuShowDelayTrk), "400"},
      {kDesktop, std::nullopt, SHOWN(MenuShowDelayTrk), "400"},
      {kDesktop, kBrokenLink, SHOWN(MenuShowDelayTrk), "400 disabled"},
      {kSetup, R"("SourcePath"=dword:00000001)", SHOWN(WinInstEdt), "[]"},
      {kSetup, R"("BootDir"="C:\\")", SHOWN(WinInstEdt), "[]"},
      {kSetup, std::nullopt, SHOWN(WinInstEdt), "[] disabled"},
      {kVerbCommand, std::nullopt, SHOWN(DefViewerEdt), "[]"},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.path + ": " + c.values.value_or("no key"));
    TweakMachine m({{c.path, c.values}});
    m.Load();
    EXPECT_EQ(c.shown(m.form), c.expected);
    EXPECT_TRUE(m.form.DefViewerEdt.Loaded);  // a failed guarded read ends nothing
  }
}

TEST(Tweaks, TheLoadMakesTheDelayKeyAndTheViewerCommandAndNothingElse) {
  TweakMachine m({{kDesktop, std::nullopt}, {kVerbCommand, std::nullopt}}, {});
  m.Load();
  EXPECT_EQ(State(m.form.MenuShowDelayTrk), "400");
  m.machine.Flush();
  EXPECT_EQ(KeyValues(m.User(), kDesktop), "");
  EXPECT_FALSE(HasKey(m.System(), kVerb));

  TweakMachine verb({{kVerbCommand, std::nullopt}});
  verb.Load();
  verb.machine.Flush();
  EXPECT_EQ(verb.Values(kVerbCommand), "");
}

struct ApplyCase {
  Changes changes;
  std::function<void(MainForm&)> edit;
  std::string path;
  std::optional<std::string> expected;  // the key's values afterwards; none: no such key
};

TEST(Tweaks, TheApplyWritesEachSettingFromItsControl) {
  const std::string serial = "\"Buttons\"=\"3\"\n\"DoubleClick\"=";
  const ApplyCase cases[] = {
      {{{kPif, ""}}, {}, kPif, "\"IsShortcut\"=\"\"\n"},
      {{{kLnk, ""}}, {}, kPif, ""},
      {{{kLnk, std::nullopt}, {kPif, std::nullopt}}, SET(ShortCutChk, Checked, true), kLnk, ""},
      {{{kLnk, std::nullopt}, {kPif, std::nullopt}}, SET(ShortCutChk, Checked, true), kPif, ""},
      {{{kFileSystem, R"("NameNumericTail"=hex:01)"}}, {}, kFileSystem, ""},
      {{}, SET(TailNumChk, Checked, false), kFileSystem, "\"NameNumericTail\"=hex:00,00\n\"Win31FileSystem\"=hex:00\n"},
      {{{kFileSystem, R"("NameNumericTail"="0")"}},
       SET(TailNumChk, Checked, true),
       kFileSystem,
       "\"NameNumericTail\"=\"0\"\n"},
      {{{kFileSystem, std::nullopt}}, {}, kFileSystem, std::nullopt},
      {{{kPolicy, "\"DisablePwdCaching\"=dword:00000002\n\"NoDialIn\"=dword:00000001"}},
       {},
       kPolicy,
       "\"NoDialIn\"=dword:00000001\n"},
      {{{kPolicy, ""}}, SET(PasswChk, Checked, true), kPolicy, "\"DisablePwdCaching\"=dword:00000001\n"},
      {{{kPolicy, std::nullopt}}, SET(PasswChk, Checked, true), kPolicy, std::nullopt},
      {{{kSerial, serial + "\"0010\""}}, {}, kSerial, serial + "\"001\"\n"},
      {{}, SET(DblClckChk, Checked, false), kSerial, serial + "\"000\"\n"},
      {{{kSerial, std::nullopt}}, SET(DblClckChk, Checked, true), kLogitech, std::nullopt},
      {{}, SET(RecycleEdt, Text, ""), kRecycle, "@=\"\"\n"},
      {{}, SET(RecycleEdt, Text, "Корзинка"), kRecycle, "@=\"\\x41a\\x43e\\x440\\x437\\x438\\x43d\\x43a\\x430\"\n"},
      {{{kRecycle, std::nullopt}}, SET(RecycleEdt, Text, "Bin"), kRecycle, std::nullopt},
      {{}, SET(BMPChk, Checked, false), kIcon, "@=\"C:\\\\WINDOWS\\\\PBRUSH.EXE,1\"\n"},
      {{{kIcon, R"(@="x")"}}, SET(BMPChk, Checked, true), kIcon, "@=\"%1\"\n"},
      {{{kOpen, R"(@="\"C:\\Program Files\\Paint.exe\" \"%1\"")"}},
       SET(BMPChk, Checked, false),
       kIcon,
       "@=\"C:\\\\Program Files\\\\Paint.exe,1\"\n"},
      {{{kIcon, "@=\"%1\"\n\"Other\"=\"x\""}, {kOpen, R"(@="")"}},
       SET(BMPChk, Checked, false),
       kIcon,
       "\"Other\"=\"x\"\n"},
      {{{kOpen, std::nullopt}}, SET(BMPChk, Checked, false), kIcon, ""},
      {{{kOpen, std::nullopt}}, SET(BMPChk, Checked, false), kOpen, ""},
      {{{kIcon, std::nullopt}}, SET(BMPChk, Checked, true), kIcon, std::nullopt},
      {{{kDesktop, R"("MenuShowDelay"="1500")"}}, {}, kDesktop, "\"MenuShowDelay\"=\"1000\"\n"},
      {{{kDesktop, R"("MenuShowDelay"="abc")"}}, {}, kDesktop, "\"MenuShowDelay\"=\"400\"\n"},
      {{{kDesktop, kBrokenLink}}, {}, kDesktop, kBrokenLink.substr(kBrokenLink.find('\n') + 1)},
      {{}, SET(MenuShowDelayTrk, Position, 120), kDesktop, "\"MenuShowDelay\"=\"120\"\n"},
      {{{kSetup, R"("SourcePath"=dword:00000001)"}}, {}, kSetup, "\"SourcePath\"=\"\"\n"},
      {{{kSetup, std::nullopt}}, SET(WinInstEdt, Text, "E:\\"), kSetup, "\"SourcePath\"=\"E:\\\\\"\n"},
      {{{kVerb, std::nullopt}, {kVerbCommand, std::nullopt}},
       SET(DefViewerEdt, Text, R"(C:\VIEW.EXE "%1")"),
       kVerb,
       kViewerCaption},
      {{{kVerb, std::nullopt}, {kVerbCommand, std::nullopt}},
       SET(DefViewerEdt, Text, R"(C:\VIEW.EXE "%1")"),
       kVerbCommand,
       "@=\"C:\\\\VIEW.EXE \\\"%1\\\"\"\n"},
      {{{kVerb, R"(@="Old")"}}, SET(DefViewerEdt, Text, ""), kVerb, std::nullopt},
      {{{kVerb, R"(@="Old")"}}, SET(DefViewerEdt, Text, ""), kShell + R"(\open)", ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i) + ", " + cases[i].path);
    TweakMachine m(cases[i].changes);
    m.Load();
    if (cases[i].edit) cases[i].edit(m.form);
    m.Apply();
    EXPECT_FALSE(HasKey(m.System(), "Control Panel"));  // the delay is the user's
    if (cases[i].expected) {
      EXPECT_EQ(m.Values(cases[i].path), cases[i].expected);
    } else {
      EXPECT_FALSE(HasKey(m.System(), cases[i].path));
    }
  }
}

TEST(Tweaks, BitmapIconIsTheProgramPathUpToExe) {
  const std::pair<std::string, std::string> cases[] = {
      {R"(C:\WINDOWS\PBRUSH.EXE "%1")", R"(C:\WINDOWS\PBRUSH.EXE,1)"},
      {R"("C:\WINDOWS\PBRUSH.EXE" "%1")", R"(C:\WINDOWS\PBRUSH.EXE,1)"},
      {R"(c:\windows\pbrush.exe %1)", R"(c:\windows\pbrush.exe,1)"},
      {R"(C:\Программы\Рисовалка.EXE "%1")", R"(C:\Программы\Рисовалка.EXE,1)"},
      {R"(C:\A.EXE\B.EXE)", R"(C:\A.EXE,1)"},
      {"mspaint %1", "msp,1"},
      {R"("mspaint" %1)", "ms,1"},
      {"ab", "ab,1"},
      {"\"", ",1"},
  };
  for (const auto& [command, icon] : cases) EXPECT_EQ(BitmapIconFromCommand(command), icon) << command;
}

TEST(Tweaks, CleanUpRemovesOldValues) {
  TweakMachine m(
      {{kIcon, "@=\"%1\"\n\"BackUp\"=\"C:\\\\WINDOWS\\\\PBRUSH.EXE,1\""},
       {kFileSystem, "\"NameNumericTail\"=dword:00000000\n\"NameNumericTrail\"=hex:01\n\"Win31FileSystem\"=hex:00"}});
  CleanUpLeftovers(m.registry);
  m.machine.Flush();
  EXPECT_EQ(m.Values(kIcon), "@=\"%1\"\n");
  EXPECT_EQ(m.Values(kFileSystem), "\"Win31FileSystem\"=hex:00\n");
}

TEST(Tweaks, CleanUpRemovesOnlyALeftoverMouseKeyAndTheParentsItEmpties) {
  const std::string version = R"(Software\Logitech\MouseWare\CurrentVersion)";
  const std::string other = kLogitech + R"(\Other)";
  struct Case {
    RegKeys keys;
    std::vector<std::string> gone, kept;
    bool enabled;
  };
  const Case cases[] = {
      // One value: the maker's key goes; Software, left empty, stays.
      {{{kSerial, R"("DoubleClick"="001")"}}, {kLogitech}, {"Software"}, false},
      {{{kSerial, ""}, {kSerial + R"(\Sub)", R"("a"="1")"}}, {kLogitech}, {}, false},
      {{{kSerial, R"("DoubleClick"="001")"}, {other, R"("Setting"="1")"}},
       {kLogitech + R"(\MouseWare)"},
       {other},
       false},
      {{{version, R"("Version"="8.20")"}, {kSerial, ""}, {version + R"(\SerialV\0001)", ""}},
       {kSerial},
       {version + R"(\SerialV\0001)"},
       false},
      {{{kLogitech, R"("Owner"="me")"}, {kSerial, ""}}, {kLogitech + R"(\MouseWare)"}, {kLogitech}, false},
      // Two values: a mouse in use.
      {{{kSerial, "\"Buttons\"=\"3\"\n\"DoubleClick\"=\"001\""}}, {}, {kSerial}, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    RegKeys system = {{R"(System\CurrentControlSet\Control)", R"("Current User"="USERNAME")"}};
    system.insert(system.end(), cases[i].keys.begin(), cases[i].keys.end());
    TweakMachine m({}, system);
    m.Load();
    m.machine.Flush();
    const std::string text = m.System();
    for (const std::string& key : cases[i].gone) EXPECT_FALSE(HasKey(text, key)) << key;
    for (const std::string& key : cases[i].kept) EXPECT_TRUE(HasKey(text, key)) << key;
    for (const auto& [key, values] : cases[i].keys) {
      if (!values.empty() && HasKey(text, key)) {
        EXPECT_EQ(KeyValues(text, key), values + "\n") << key;
      }
    }
    EXPECT_EQ(m.form.DblClckChk.Enabled, cases[i].enabled);
  }
}

TEST(Tweaks, ALoadEndedByARecycleBinNameOfAnotherTypeWritesOnlyWhatItLoaded) {
  TweakMachine m({{kRecycle, "@=dword:00000001"}});
  EXPECT_EQ(ErrorOf([&] { m.Load(); }), "Invalid data type for ''");
  const MainForm& f = m.form;
  EXPECT_TRUE(f.ShortCutChk.Loaded && f.TailNumChk.Loaded && f.PasswChk.Loaded && f.DblClckChk.Loaded);
  EXPECT_FALSE(f.RecycleEdt.Loaded || f.BMPChk.Loaded || f.MenuShowDelayTrk.Loaded || f.WinInstEdt.Loaded ||
               f.DefViewerEdt.Loaded);
  // The controls not reached keep their design-time values and stay enabled.
  EXPECT_EQ(State(f.BMPChk), "off");
  EXPECT_EQ(State(f.MenuShowDelayTrk), "400");
  EXPECT_EQ(State(f.WinInstEdt), "[]");
  EXPECT_EQ(State(f.DefViewerEdt), "[]");

  const std::string user = m.User();
  m.form.ShortCutChk.Checked = false;
  m.Apply();
  EXPECT_EQ(m.Values(kLnk), "");  // loaded before the error: written
  EXPECT_EQ(m.Values(kRecycle), "@=dword:00000001\n");
  EXPECT_EQ(m.Values(kIcon), "@=\"%1\"\n");
  EXPECT_EQ(m.Values(kSetup), "\"SourcePath\"=\"D:\\\\WIN98\\\\\"\n");
  EXPECT_TRUE(HasKey(m.System(), kVerbCommand));
  EXPECT_EQ(m.User(), user);
}

TEST(Tweaks, AWriteIntoAKeyThatCannotBeMadeFailsInsteadOfLandingInTheKeyBefore) {
  TweakMachine pif({{kPif, kBrokenLink}});
  pif.Load();
  ASSERT_TRUE(pif.form.ShortCutChk.Checked);
  EXPECT_EQ(ErrorOf([&] { pif.Apply(); }), "Failed to set data for 'IsShortcut'");

  TweakMachine viewer({{kVerbCommand, kBrokenLink}});
  viewer.Load();
  viewer.form.DefViewerEdt.Text = R"(C:\VIEW.EXE "%1")";
  EXPECT_EQ(ErrorOf([&] { viewer.Apply(); }), "Failed to set data for ''");
  viewer.machine.Flush();
  EXPECT_EQ(viewer.Values(kVerb), kViewerCaption);
}

}  // namespace
}  // namespace frambul::engine
