// The network page and the disk cache sliders on small machines: what the load
// shows, what OK leaves in the registry and SYSTEM.INI, the page's actions and
// the sliders' cascade.

#include <gtest/gtest.h>

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
const std::string kNoKey = "(no key)";

std::string Binding(const std::string& name) { return kNetTrans + "\\" + name; }
// A string value's line.
std::string Sz(const std::string& name, const std::string& value) { return "\"" + name + "\"=\"" + value + "\""; }
// A TCP/IP binding with a string MaxMTU.
std::string TcpMtu(const std::string& mtu) { return kTcp + "\n" + Sz("MaxMTU", mtu); }
std::string Stack(const std::string& rwin, const std::string& ttl) {
  return Sz("DefaultRcvWindow", rwin) + "\n" + Sz("DefaultTTL", ttl);
}
const std::pair<std::string, std::string> kStack = {kMstcp, Stack("2144", "64")};

// What the network page shows: MTU, RWIN, the TTL item, the binding found,
// and "-" after a control that is disabled or "?" after one not loaded.
std::string Shown(const MainForm& f) {
  auto flags = [](const auto& c) { return std::string(!c.Loaded ? "?" : c.Enabled ? "" : "-"); };
  return f.MTUEdt.Text + flags(f.MTUEdt) + " " + f.RWINEdt.Text + flags(f.RWINEdt) + " " +
         std::to_string(f.TTLCbx.ItemIndex) + flags(f.TTLCbx) + " " + f.NetTransKey;
}

// The first binding that opens with DriverDesc exactly "TCP/IP"; string values only; a bad DriverDesc ends the load.
TEST(TcpIp, TheLoadShowsTheFirstTcpIpBindingAndTheStack) {
  struct Case { Keys keys; std::string shown, error = ""; };
  const Case cases[] = {
      {{{Binding("0000"), Sz("DriverDesc", "NetBEUI") + "\n" + Sz("MaxMTU", "1")}, {Binding("0001"), TcpMtu("576")},
        {Binding("0002"), TcpMtu("999")}, kStack}, "576 2144 1 0001"},
      {{{Binding("0000"), Sz("DriverDesc", "tcp/ip")}, {Binding("0001"), Sz("DriverDesc", "TCP/IP ")}, kStack}, "1500- 2144 1 "},
      {{{Binding("0000"), TcpMtu("")}, kStack}, "1500 2144 1 0000"},
      // The key before the broken binding says "TCP/IP": no match all the same.
      {{{kNetTrans, kTcp}, {Binding("0000"), test::kBrokenLink}, {Binding("0001"), TcpMtu("1")}}, "1 5840- -1- 0001"},
      {{}, "1500- 5840- -1- "},
      {{{kMstcp, ""}}, "1500- 5840 0 "},
      {{{kMstcp, Stack("x", "128")}}, "1500- x 0 "},
      {{{Binding("0000"), R"("DriverDesc"=dword:00000001)"}, kStack}, "1500? 5840? -1? ", "Invalid data type for 'DriverDesc'"},
  };
  for (const auto& [keys, shown, error] : cases) {
    SCOPED_TRACE(keys.empty() ? "no keys" : keys.front().first + ": " + keys.front().second);
    PageMachine m(keys);
    EXPECT_EQ(m.loadError, error);
    EXPECT_EQ(Shown(m.form), shown);
  }
}

#define EDIT(statement) []([[maybe_unused]] MainForm& f) { statement; }

// OK writes the texts as typed as strings, an empty one deleting its value, only into the keys the load found,
// nothing for a disabled control; a key it can neither open nor make ends it with the write error.
TEST(TcpIp, OkWritesTheTextsAsTypedOnlyIntoTheKeysTheLoadFound) {
  const std::string x = "\n" + Sz("X", "1");
  const Keys three = {{Binding("0000"), Sz("DriverDesc", "NetBEUI")},
                      {Binding("0001"), kTcp + "\n" R"("MaxMTU"=dword:00000240)"},
                      {Binding("0002"), TcpMtu("999")},
                      {kMstcp, R"("DefaultRcvWindow"=dword:00000001)" "\n" R"("DefaultTTL"=dword:00000040)" + x}};
  const Keys tcp = {{Binding("0000"), TcpMtu("576")}};
  // The machine, the edit before OK, OK's error, the keys' values after it.
  struct Case { Keys keys; void (*edit)(MainForm&); std::string error; Keys after; };
  const Case cases[] = {
      {three, EDIT(), "", {{Binding("0001"), TcpMtu("1500")}, {Binding("0002"), TcpMtu("999")}, {kMstcp, Stack("5840", "32") + x}}},
      {three, EDIT(BitBtn1Click(f)), "", {{Binding("0001"), TcpMtu("576")}, {kMstcp, Stack("2144", "64") + x}}},
      {three, EDIT(f.MTUEdt.Text = ""; f.RWINEdt.Text = ""; f.TTLCbx.ItemIndex = 2), "",
       {{Binding("0001"), kTcp}, {kMstcp, x.substr(1)}}},
      {three, EDIT(f.MTUEdt.Text = " 15x"; f.RWINEdt.Text = "-1"), "",
       {{Binding("0001"), TcpMtu(" 15x")}, {kMstcp, Stack("-1", "32") + x}}},
      // No stack: after "Рекомендованные" OK writes the MTU only.
      {tcp, EDIT(BitBtn1Click(f)), "", {{Binding("0000"), TcpMtu("576")}, {kMstcp, kNoKey}}},
      // An edit made usable behind the load's back: no binding found, no key to write to.
      {{{kNetTrans, Sz("MaxMTU", "1")}}, EDIT(f.MTUEdt.Text = "1400"; f.MTUEdt.Enabled = true), "",
       {{kNetTrans, Sz("MaxMTU", "1")}}},
      {{tcp[0], {Binding("0001"), test::kBrokenLink}, kStack},
       EDIT(f.NetTransKey = "0001"; f.MTUEdt.Text = ""; f.RWINEdt.Text = "1"), "Failed to set data for 'MaxMTU'",
       {{Binding("0000"), TcpMtu("576")}, kStack}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    PageMachine m(c.keys);
    ASSERT_EQ(m.loadError, "");
    c.edit(m.form);
    EXPECT_EQ(m.Ok(), c.error);
    for (const auto& [key, values] : c.after) EXPECT_EQ(m.Values(key).value_or(kNoKey), values) << key;
  }
}

// RWIN = (MTU-40)*4 wrapping in 32 bits, by the link that refuses an MTU that is no number; "Рекомендованные".
TEST(TcpIp, RwinFromTheMtuWrapsIn32BitsAndRefusesAnMtuThatIsNoNumber) {
  for (auto [text, rwin] : {std::pair<std::string, std::string>{" 20", "-80 1"}, {"$10", "-96 1"}, {"40", "0 1"},
                            {"2147483647", "-164 1"}, {"-2147483648", "-160 1"}, {"1073741864", "0 1"},
                            {"", "7 0 refused"}, {"abc", "7 0 refused"}, {"15 ", "7 0 refused"},
                            {"2147483648", "7 0 refused"}}) {
    MainForm f;
    f.MTUEdt.Text = text;
    f.RWINEdt.Text = "7";
    const bool computed = Label6Click(f);
    EXPECT_EQ(f.RWINEdt.Text + " " + std::to_string(f.RWINEdt.Tag) + (computed ? "" : " refused"), rwin) << text;
  }
  MainForm r;
  BitBtn1Click(r);
  EXPECT_EQ(Shown(r) + std::to_string(r.MTUEdt.Tag) + std::to_string(r.RWINEdt.Tag) + std::to_string(r.TTLCbx.Tag),
            "576? 2144? 1? 100");
}

// The sliders as one text: positions, labels and hints.
std::string Sliders(const MainForm& f) {
  return std::to_string(f.MinCacheTrk.Position) + " " + std::to_string(f.MaxCacheTrk.Position) + " " +
         f.MinLbl.Caption + " " + f.MaxLbl.Caption + " " + f.MinCacheTrk.Hint + " " + f.MaxCacheTrk.Hint;
}

// Half megabytes up to 10, then whole ones with an odd position rounded up.
TEST(DiskCache, TheMegabyteTextOfEveryPosition) {
  std::string all;
  for (int p = 1; p <= 64; ++p) all += MegabyteText(p, ",") + " ";
  EXPECT_EQ(all,
            "0,5 1,0 1,5 2,0 2,5 3,0 3,5 4,0 4,5 5,0 5,5 6,0 6,5 7,0 7,5 8,0 8,5 9,0 9,5 10,0 "
            "11,0 11,0 12,0 12,0 13,0 13,0 14,0 14,0 15,0 15,0 16,0 16,0 17,0 17,0 18,0 18,0 19,0 19,0 20,0 20,0 "
            "21,0 21,0 22,0 22,0 23,0 23,0 24,0 24,0 25,0 25,0 26,0 26,0 27,0 27,0 28,0 28,0 29,0 29,0 30,0 30,0 "
            "31,0 31,0 32,0 32,0 ");
}

std::string Cache(const std::string& min, const std::string& max) {
  return "MinFileCache=" + min + "\r\nMaxFileCache=" + max + "\r\n";
}

// The load clamps both limits to the sliders, min <= max, unmarked; OK writes both in place or makes the section.
TEST(DiskCache, TheLoadPlacesTheSlidersAndOkWritesBothLimits) {
  const std::string boot = "[boot]\r\nshell=Explorer.exe\r\n", end = "ChunkSize=512\r\n; end\r\n";
  // SYSTEM.INI's cache lines; the sliders after the load; the lines after OK.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"", "0 0 Авто Авто 0 0", ""},
      {Cache("1000", "40000"), "1 64 0,5 M 32,0 M 512 32768", Cache("512", "32768")},
      {Cache("-4096", "2048"), "0 4 Авто 2,0 M 0 2048", "MaxFileCache=2048\r\n"},
      {Cache("16384", "4096"), "8 8 4,0 M 4,0 M 4096 4096", Cache("4096", "4096")},
      {"MaxFileCache=10752\r\nMinFileCache=$400\r\n", "2 21 1,0 M 11,0 M 1024 10752",
       "MaxFileCache=10752\r\nMinFileCache=1024\r\n"},
  };
  for (const auto& [lines, sliders, written] : cases) {
    SCOPED_TRACE(lines);
    PageMachine m({}, boot + "\r\n[vcache]\r\n" + lines + end);
    EXPECT_EQ(m.loadError, "");
    EXPECT_EQ(Sliders(m.form), sliders);
    EXPECT_EQ(m.Ok(), "");
    EXPECT_EQ(m.SystemIni(), boot + "\r\n[vcache]\r\n" + written + end);
  }
  // No section yet; text that is no number ends the load at its slider.
  PageMachine fresh({}, boot);
  SetCachePosition(fresh.form, fresh.form.MaxCacheTrk, 20);
  EXPECT_EQ(fresh.Ok(), "");
  EXPECT_EQ(fresh.SystemIni(), boot + "\r\n[VCache]\r\nMaxFileCache=10240\r\n");
  PageMachine bad({{kMstcp, ""}}, "[VCache]\r\nMinFileCache=1\r\nMaxFileCache=16 M\r\n");
  EXPECT_EQ(bad.loadError, "'16 M' is not a valid integer value");
  EXPECT_TRUE(bad.form.MinCacheTrk.Loaded && !bad.form.MaxCacheTrk.Loaded && !bad.form.RWINEdt.Loaded);
  EXPECT_EQ(bad.Ok(), "");
  EXPECT_EQ(bad.SystemIni(), "[VCache]\r\nMaxFileCache=16 M\r\n");
}

// Each slider, clamped to 0-64, drags the other to keep min <= max; "Авто" resets both; nothing marks the group.
TEST(DiskCache, EachSliderDragsTheOtherToKeepTheMinimumAtOrBelowTheMaximum) {
  MainForm form;
  form.DecimalSeparator = ",";
  const std::tuple<void (*)(MainForm&), std::string> steps[] = {
      {EDIT(SetCachePosition(f, f.MinCacheTrk, 40)), "40 40 20,0 M 20,0 M 20480 20480"},
      {EDIT(SetCachePosition(f, f.MaxCacheTrk, 21)), "21 21 11,0 M 11,0 M 10752 10752"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, 99)), "64 64 32,0 M 32,0 M 32768 32768"},
      {EDIT(SetCachePosition(f, f.MaxCacheTrk, 0)), "0 0 Авто Авто 0 0"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, -3)), "0 0 Авто Авто 0 0"},
      {EDIT(SetCachePosition(f, f.MinCacheTrk, 3); SetCachePosition(f, f.MaxCacheTrk, 9)), "3 9 1,5 M 4,5 M 1536 4608"},
      {EDIT(f.MaxCacheTrk.Hint = "x"; SetCachePosition(f, f.MaxCacheTrk, 9)), "3 9 1,5 M 4,5 M 1536 x"},
      {EDIT(Label12Click(f)), "0 0 Авто Авто 0 0"},
  };
  for (const auto& [step, sliders] : steps) {
    step(form);
    EXPECT_EQ(Sliders(form), sliders);
  }
  EXPECT_FALSE(engine::TweaksChanged(form));
}

// The tweaks first, then the cache limits, then MTU, RWIN and TTL: an error
// in one step leaves the earlier ones written and the later ones not.
TEST(Order, TheAppliesOfTheTweaksGroupRunInTheirOrder) {
  const std::string ini = "[VCache]\r\nMaxFileCache=2048\r\n";
  Keys keys = {{Binding("0000"), TcpMtu("576")}, {kMstcp, test::kBrokenLink}};
  PageMachine tcp(keys, ini);
  tcp.form.RWINEdt.Enabled = tcp.form.TTLCbx.Enabled = true;
  SetCachePosition(tcp.form, tcp.form.MaxCacheTrk, 8);
  tcp.form.MTUEdt.Text = "1400";
  EXPECT_EQ(tcp.Ok(), "Failed to set data for 'DefaultRcvWindow'");
  EXPECT_EQ(tcp.SystemIni(), "[VCache]\r\nMaxFileCache=4096\r\n");
  EXPECT_EQ(tcp.Values(Binding("0000")), TcpMtu("1400"));

  keys.push_back({R"(Software\Classes\lnkfile)", ""});
  keys.push_back({R"(Software\Classes\piffile)", test::kBrokenLink});
  PageMachine tweaks(keys, ini);
  SetCachePosition(tweaks.form, tweaks.form.MaxCacheTrk, 8);
  tweaks.form.ShortCutChk.Checked = true;
  EXPECT_EQ(tweaks.Ok(), "Failed to set data for 'IsShortcut'");
  EXPECT_EQ(tweaks.SystemIni(), ini);
}

}  // namespace
}  // namespace frambul::tuning
