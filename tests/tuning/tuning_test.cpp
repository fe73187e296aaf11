// The network page and the disk cache sliders on small machines: what the load
// shows, what OK leaves in the registry and SYSTEM.INI, the page's actions and
// the sliders' cascade.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "tuning/disk_cache.h"
#include "tuning/page_machine.h"
#include "tuning/tcpip.h"

namespace frambul::tuning {
namespace {

using engine::MainForm;
using test::Keys;
using test::PageMachine;

const std::string kNetTrans = R"(System\CurrentControlSet\Services\Class\NetTrans)";
const std::string kMstcp = R"(System\CurrentControlSet\Services\VxD\MSTCP)";
const std::string kTcp = R"("DriverDesc"="TCP/IP")";

std::string Binding(const std::string& name) { return kNetTrans + "\\" + name; }

// What the network page shows: MTU, RWIN, the TTL item, the binding found,
// and "-" after a control that is disabled or "?" after one not loaded.
std::string Shown(const MainForm& f) {
  auto flags = [](const auto& c) { return std::string(!c.Loaded ? "?" : c.Enabled ? "" : "-"); };
  return f.MTUEdt.Text + flags(f.MTUEdt) + " " + f.RWINEdt.Text + flags(f.RWINEdt) + " " +
         std::to_string(f.TTLCbx.ItemIndex) + flags(f.TTLCbx) + " " + f.NetTransKey;
}

const Keys kStack = {{kMstcp, R"("DefaultRcvWindow"="2144")" "\n" R"("DefaultTTL"="64")"}};

TEST(TcpIp, TheLoadShowsTheFirstTcpIpBindingAndTheStack) {
  const std::tuple<Keys, std::string, std::string> cases[] = {
      // The first match wins; the others are not read.
      {{{Binding("0000"), R"("DriverDesc"="NetBEUI")" "\n" R"("MaxMTU"="1")"},
        {Binding("0001"), kTcp + "\n" R"("MaxMTU"="576")"},
        {Binding("0002"), kTcp + "\n" R"("MaxMTU"="999")"}, kStack[0]},
       "576 2144 1 0001", ""},
      // Only exactly "TCP/IP" matches.
      {{{Binding("0000"), R"("DriverDesc"="tcp/ip")"}, {Binding("0001"), R"("DriverDesc"="TCP/IP ")"}, kStack[0]},
       "1500- 2144 1 ", ""},
      {{{Binding("0000"), kTcp}, kStack[0]}, "1500 2144 1 0000", ""},
      {{{Binding("0000"), kTcp + "\n" R"("MaxMTU"=dword:00000240)"}, kStack[0]}, "1500 2144 1 0000", ""},
      {{{Binding("0000"), kTcp + "\n" R"("MaxMTU"="")"}, kStack[0]}, "1500 2144 1 0000", ""},
      // A binding that cannot be opened is no match, though the key before says "TCP/IP".
      {{{kNetTrans, kTcp}, {Binding("0000"), test::kBrokenLink}, {Binding("0001"), kTcp + "\n\"MaxMTU\"=\"1\""}},
       "1 5840- -1- 0001", ""},
      {{{kNetTrans, kTcp}, {Binding("0000"), test::kBrokenLink}}, "1500- 5840- -1- ", ""},
      {{{kNetTrans, ""}, kStack[0]}, "1500- 2144 1 ", ""},
      {{}, "1500- 5840- -1- ", ""},
      // The stack's values: absent, not strings, other numbers.
      {{{kMstcp, ""}}, "1500- 5840 0 ", ""},
      {{{kMstcp, R"("DefaultRcvWindow"=dword:00000001)" "\n" R"("DefaultTTL"=dword:00000040)"}}, "1500- 5840 0 ", ""},
      {{{kMstcp, R"("DefaultRcvWindow"="x")" "\n" R"("DefaultTTL"="128")"}}, "1500- x 0 ", ""},
      {{{kMstcp, R"("DefaultTTL"="")"}}, "1500- 5840 0 ", ""},
      // A description that is no string ends the load: nothing after it was reached.
      {{{Binding("0000"), R"("DriverDesc"=dword:00000001)"}, kStack[0]}, "1500? 5840? -1? ", "Invalid data type for 'DriverDesc'"},
  };
  for (const auto& [keys, shown, error] : cases) {
    SCOPED_TRACE(keys.empty() ? "no keys" : keys.front().first + ": " + keys.front().second);
    PageMachine m(keys);
    EXPECT_EQ(m.loadError, error);
    EXPECT_EQ(Shown(m.form), shown);
    EXPECT_EQ(m.form.MTUEdt.Tag + m.form.RWINEdt.Tag + m.form.TTLCbx.Tag, 0);
  }
}

#define EDIT(statement) []([[maybe_unused]] MainForm& f) { statement; }

TEST(TcpIp, OkWritesTheTextsAsTypedAsStringsToTheBindingFoundAndTheStack) {
  const Keys machine = {{Binding("0000"), R"("DriverDesc"="NetBEUI")"},
                        {Binding("0001"), kTcp + "\n" R"("MaxMTU"=dword:00000240)"},
                        {Binding("0002"), kTcp + "\n" R"("MaxMTU"="999")"},
                        {kMstcp, R"("DefaultRcvWindow"=dword:00000001)" "\n" R"("DefaultTTL"="128")" "\n" R"("X"="1")"}};
  // After each edit: the values of 0001 and of MSTCP.
  const std::tuple<void (*)(MainForm&), std::string, std::string> cases[] = {
      {EDIT(), kTcp + "\n" R"("MaxMTU"="1500")", R"("DefaultRcvWindow"="5840")" "\n" R"("DefaultTTL"="32")" "\n" R"("X"="1")"},
      {EDIT(BitBtn1Click(f)), kTcp + "\n" R"("MaxMTU"="576")",
       R"("DefaultRcvWindow"="2144")" "\n" R"("DefaultTTL"="64")" "\n" R"("X"="1")"},
      {EDIT(f.MTUEdt.Text = ""; f.RWINEdt.Text = ""; f.TTLCbx.ItemIndex = 2), kTcp, R"("X"="1")"},
      {EDIT(f.MTUEdt.Text = " 15x"; f.RWINEdt.Text = "-1"), kTcp + "\n" R"("MaxMTU"=" 15x")",
       R"("DefaultRcvWindow"="-1")" "\n" R"("DefaultTTL"="32")" "\n" R"("X"="1")"},
  };
  for (const auto& [edit, binding, stack] : cases) {
    PageMachine m(machine);
    ASSERT_EQ(m.loadError, "");
    edit(m.form);
    EXPECT_EQ(m.Ok(), "");
    EXPECT_EQ(m.Values(Binding("0001")), binding);
    EXPECT_EQ(m.Values(Binding("0002")), kTcp + "\n" R"("MaxMTU"="999")");
    EXPECT_EQ(m.Values(kMstcp), stack);
  }
}

TEST(TcpIp, OkWritesNothingWithoutAMarkNorForADisabledControlNorIntoAnotherKey) {
  const Keys tcp = {{Binding("0000"), kTcp + "\n" R"("MaxMTU"="576")"}};
  {
    PageMachine m(tcp);  // no stack: "Рекомендованные" changes what is shown, OK writes only the MTU
    BitBtn1Click(m.form);
    EXPECT_EQ(Shown(m.form), "576 2144- 1- 0000");
    EXPECT_EQ(m.Ok(), "");
    EXPECT_FALSE(m.HasKey(kMstcp));
  }
  {
    PageMachine m({{kNetTrans, "\"MaxMTU\"=\"1\""}, {kMstcp, ""}});
    m.form.MTUEdt.Text = "1400";
    m.form.RWINEdt.Text = "1";
    EXPECT_EQ(m.Run([&] { m.cycle.OkBtnClick(); }), "");  // no mark
    EXPECT_EQ(m.Values(kMstcp), "");
    // The edit made usable behind the load's back: without a binding found
    // there is no key of its own to write to.
    m.form.MTUEdt.Enabled = true;
    EXPECT_EQ(m.Ok(), "");
    EXPECT_EQ(m.Values(kNetTrans), "\"MaxMTU\"=\"1\"");
  }
  // Keys that can be neither opened nor made: the write error, nothing written
  // into the key opened before, and the apply ends there.
  {
    PageMachine m({tcp[0], {kMstcp, test::kBrokenLink}});
    m.form.RWINEdt.Enabled = m.form.TTLCbx.Enabled = true;
    m.form.MTUEdt.Text = "1400";
    EXPECT_EQ(m.Ok(), "Failed to set data for 'DefaultRcvWindow'");
    EXPECT_EQ(m.Values(Binding("0000")), kTcp + "\n" R"("MaxMTU"="1400")");
  }
  {
    PageMachine m({tcp[0], {Binding("0001"), test::kBrokenLink}, kStack[0]});
    m.form.NetTransKey = "0001";
    m.form.MTUEdt.Text = "";
    m.form.RWINEdt.Text = "1";
    EXPECT_EQ(m.Ok(), "Failed to set data for 'MaxMTU'");
    EXPECT_EQ(m.Values(Binding("0000")), kTcp + "\n" R"("MaxMTU"="576")");
    EXPECT_EQ(m.Values(kMstcp), kStack[0].second);
  }
}

TEST(TcpIp, RwinFromTheMtuWrapsIn32BitsAndRefusesAnMtuThatIsNoNumber) {
  for (auto [mtu, rwin] : {std::pair<int32_t, int32_t>{1500, 5840}, {576, 2144}, {40, 0}, {20, -80},
                           {INT32_MAX, -164}, {INT32_MIN, -160}, {1073741864, 0}}) {
    EXPECT_EQ(RwinFromMtu(mtu), rwin) << mtu;
  }
  MainForm f;
  for (auto [text, rwin] : {std::pair<const char*, const char*>{"1500", "5840"}, {" 20", "-80"}, {"$10", "-96"}}) {
    f.MTUEdt.Text = text;
    f.RWINEdt.Tag = 0;
    EXPECT_TRUE(Label6Click(f));
    EXPECT_EQ(f.RWINEdt.Text + std::to_string(f.RWINEdt.Tag), std::string(rwin) + "1") << text;
  }
  for (const char* text : {"", "abc", "15 ", "2147483648"}) {
    f.MTUEdt.Text = text;
    f.RWINEdt = {"7"};
    EXPECT_FALSE(Label6Click(f)) << text;
    EXPECT_EQ(f.RWINEdt.Text + std::to_string(f.RWINEdt.Tag), "70") << text;
  }
  // "Рекомендованные" marks the MTU only; the program's TTL pick marks nothing.
  MainForm r;
  BitBtn1Click(r);
  EXPECT_EQ(Shown(r) + std::to_string(r.MTUEdt.Tag) + std::to_string(r.RWINEdt.Tag) + std::to_string(r.TTLCbx.Tag),
            "576? 2144? 1? 100");
  TTLCbxChange(r, 2);
  EXPECT_EQ(r.TTLCbx.ItemIndex + r.TTLCbx.Tag, 3);
}

// The sliders as one text: positions, labels and hints.
std::string Sliders(const MainForm& f) {
  return std::to_string(f.MinCacheTrk.Position) + " " + std::to_string(f.MaxCacheTrk.Position) + " " +
         f.MinLbl.Caption + " " + f.MaxLbl.Caption + " " + f.MinCacheTrk.Hint + " " + f.MaxCacheTrk.Hint;
}

TEST(DiskCache, TheMegabyteTextOfEveryPosition) {
  for (const char* separator : {",", "."}) {
    std::string all;
    for (int p = 1; p <= 64; ++p) all += MegabyteText(p, separator) + " ";
    std::string expected =
        "0,5 1,0 1,5 2,0 2,5 3,0 3,5 4,0 4,5 5,0 5,5 6,0 6,5 7,0 7,5 8,0 8,5 9,0 9,5 10,0 "
        "11,0 11,0 12,0 12,0 13,0 13,0 14,0 14,0 15,0 15,0 16,0 16,0 17,0 17,0 18,0 18,0 19,0 19,0 20,0 20,0 "
        "21,0 21,0 22,0 22,0 23,0 23,0 24,0 24,0 25,0 25,0 26,0 26,0 27,0 27,0 28,0 28,0 29,0 29,0 30,0 30,0 "
        "31,0 31,0 32,0 32,0 ";
    std::replace(expected.begin(), expected.end(), ',', separator[0]);
    EXPECT_EQ(all, expected);
  }
}

TEST(DiskCache, TheLoadPlacesTheSlidersAndOkWritesBothLimits) {
  // SYSTEM.INI's cache lines; the sliders after the load; the lines after OK.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"", "0 0 Авто Авто 0 0", ""},
      {"MinFileCache=8192\r\nMaxFileCache=16384\r\n", "16 32 8,0 M 16,0 M 8192 16384",
       "MinFileCache=8192\r\nMaxFileCache=16384\r\n"},
      {"MinFileCache=1000\r\nMaxFileCache=40000\r\n", "1 64 0,5 M 32,0 M 512 32768",
       "MinFileCache=512\r\nMaxFileCache=32768\r\n"},
      {"MinFileCache=-4096\r\nMaxFileCache=2048\r\n", "0 4 Авто 2,0 M 0 2048", "MaxFileCache=2048\r\n"},
      {"MinFileCache=8192\r\n", "0 0 Авто Авто 0 0", ""},
      {"MinFileCache=16384\r\nMaxFileCache=4096\r\n", "8 8 4,0 M 4,0 M 4096 4096",
       "MinFileCache=4096\r\nMaxFileCache=4096\r\n"},
      {"MaxFileCache=10752\r\nMinFileCache=$400\r\n", "2 21 1,0 M 11,0 M 1024 10752",
       "MaxFileCache=10752\r\nMinFileCache=1024\r\n"},
  };
  for (const auto& [lines, sliders, written] : cases) {
    SCOPED_TRACE(lines);
    PageMachine m({}, "[boot]\r\nshell=Explorer.exe\r\n\r\n[vcache]\r\n" + lines + "ChunkSize=512\r\n; end\r\n");
    EXPECT_EQ(m.loadError, "");
    EXPECT_EQ(Sliders(m.form), sliders);
    EXPECT_EQ(m.form.MinCacheTrk.Tag + m.form.MaxCacheTrk.Tag, 0);
    EXPECT_EQ(m.Ok(), "");
    EXPECT_EQ(m.SystemIni(), "[boot]\r\nshell=Explorer.exe\r\n\r\n[vcache]\r\n" + written + "ChunkSize=512\r\n; end\r\n");
  }
  // No section yet: OK makes it for the limit that is not automatic.
  PageMachine fresh({}, "[boot]\r\nshell=Explorer.exe\r\n");
  SetCachePosition(fresh.form, fresh.form.MaxCacheTrk, 20);
  EXPECT_EQ(fresh.Ok(), "");
  EXPECT_EQ(fresh.SystemIni(), "[boot]\r\nshell=Explorer.exe\r\n\r\n[VCache]\r\nMaxFileCache=10240\r\n");
  // Text that is no number ends the load at the slider; what comes after is not reached.
  PageMachine bad({{kMstcp, ""}}, "[VCache]\r\nMinFileCache=1\r\nMaxFileCache=16 M\r\n");
  EXPECT_EQ(bad.loadError, "'16 M' is not a valid integer value");
  EXPECT_TRUE(bad.form.MinCacheTrk.Loaded && !bad.form.MaxCacheTrk.Loaded && !bad.form.RWINEdt.Loaded);
  EXPECT_EQ(bad.Ok(), "");
  EXPECT_EQ(bad.SystemIni(), "[VCache]\r\nMaxFileCache=16 M\r\n");
}

TEST(DiskCache, EachSliderDragsTheOtherToKeepTheMinimumAtOrBelowTheMaximum) {
  MainForm form;
  form.DecimalSeparator = ",";
  const std::tuple<void (*)(MainForm&), std::string> steps[] = {
      {EDIT(SetCachePosition(f, f.MaxCacheTrk, 32)), "0 32 Авто 16,0 M 0 16384"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, 40)), "40 40 20,0 M 20,0 M 20480 20480"},
      {EDIT(SetCachePosition(f, f.MaxCacheTrk, 21)), "21 21 11,0 M 11,0 M 10752 10752"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, 99)), "64 64 32,0 M 32,0 M 32768 32768"},
      {EDIT(SetCachePosition(f, f.MaxCacheTrk, 0)), "0 0 Авто Авто 0 0"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, -3)), "0 0 Авто Авто 0 0"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, 3); SetCachePosition(f, f.MaxCacheTrk, 9)), "3 9 1,5 M 4,5 M 1536 4608"},
      // The same position again runs no change event: the stale hint stays.
      {EDIT(f.MaxCacheTrk.Hint = "x"; SetCachePosition(f, f.MaxCacheTrk, 9)), "3 9 1,5 M 4,5 M 1536 x"},
      {EDIT(Label12Click(f)), "0 0 Авто Авто 0 0"},
  };
  for (const auto& [step, sliders] : steps) {
    step(form);
    EXPECT_EQ(Sliders(form), sliders);
  }
  // Only entering a slider marks it.
  EXPECT_FALSE(engine::TweaksChanged(form));
  MaxCacheTrkEnter(form);
  EXPECT_EQ(std::to_string(form.MinCacheTrk.Tag) + std::to_string(form.MaxCacheTrk.Tag), "01");
  MinCacheTrkEnter(form);
  EXPECT_EQ(form.MinCacheTrk.Tag, 1);
}

// The tweaks first, then the cache limits, then MTU, RWIN and TTL: an error
// in one step leaves the earlier ones written and the later ones not.
TEST(Order, TheAppliesOfTheTweaksGroupRunInTheirOrder) {
  const std::string ini = "[VCache]\r\nMaxFileCache=2048\r\n";
  const Keys keys = {{Binding("0000"), kTcp + "\n" R"("MaxMTU"="576")"}, {kMstcp, test::kBrokenLink}};
  PageMachine tcp(keys, ini);
  tcp.form.RWINEdt.Enabled = tcp.form.TTLCbx.Enabled = true;
  SetCachePosition(tcp.form, tcp.form.MaxCacheTrk, 8);
  tcp.form.MTUEdt.Text = "1400";
  EXPECT_EQ(tcp.Ok(), "Failed to set data for 'DefaultRcvWindow'");
  EXPECT_EQ(tcp.SystemIni(), "[VCache]\r\nMaxFileCache=4096\r\n");
  EXPECT_EQ(tcp.Values(Binding("0000")), kTcp + "\n" R"("MaxMTU"="1400")");

  Keys broken = keys;
  broken.push_back({R"(Software\Classes\lnkfile)", ""});
  broken.push_back({R"(Software\Classes\piffile)", test::kBrokenLink});
  PageMachine tweaks(broken, ini);
  SetCachePosition(tweaks.form, tweaks.form.MaxCacheTrk, 8);
  tweaks.form.ShortCutChk.Checked = true;
  EXPECT_EQ(tweaks.Ok(), "Failed to set data for 'IsShortcut'");
  EXPECT_EQ(tweaks.SystemIni(), ini);
}

}  // namespace
}  // namespace frambul::tuning
