// The startup list on small machines written by each case: what the load shows
// of the four sources, the user's operations and the menu, and what OK leaves
// in the hives, "WIN.INI" and the Startup folder's attributes.

#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "startup/menu.h"
#include "startup/sources.h"
#include "support/handler.h"
#include "support/temp_prefix.h"

namespace frambul::startup {
namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;  // key path, value lines
using Source = StartupSource;

const std::string kRun = R"(Software\Microsoft\Windows\CurrentVersion\Run)", kRunOff = kRun + "-";
const std::string kShell = R"(Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders)";
const std::string kFolderValue = R"("Startup"="C:\\WINDOWS\\Start Menu\\Programs\\StartUp")";
const std::string kFolder = "drive_c/WINDOWS/Start Menu/Programs/StartUp/";
const std::string kBrokenLink = "#link\n\"SymbolicLinkValue\"=hex(6):58,00";  // to "X", which does not exist
const std::string kClash = " попали бы в реестр под одним именем, и одна из них пропала бы. Переименуйте или уберите одну из них.";

std::string HiveText(const std::string& root, const Keys& keys) {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\" + root + "\n\n#arch=win32\n";
  for (const auto& [path, values] : keys) text += test::KeyText(path, values);
  return text;
}

// A Windows 98 machine (code page 1251) with the given keys, WIN.INI and Startup
// folder files; a file's prefix sets its attributes: "h:" hidden, "s:" system,
// "r:" read-only, "d:" a sub-folder. Handlers run as the window runs them: an
// error ends one, and the files are written afterwards.
struct Prefix {
  Prefix(Keys system, Keys user, const std::string& winIniText = "", const std::vector<std::string>& files = {})
      : temp((system.emplace_back(R"(System\CurrentControlSet\Control\Nls\CodePage)", R"("ACP"="1251")"),
              HiveText("Machine", system)),
             HiveText("User\\\\S-1-5-21-0-0-0-1000", user)) {
    test::WriteFile(temp.file("drive_c/WINDOWS/WIN.INI"), winIniText);
    std::filesystem::create_directories(temp.file(kFolder));
    for (const std::string& f : files) {
      const std::string path = temp.file(kFolder + f.substr(f[1] == ':' ? 2 : 0));
      if (f.starts_with("d:")) std::filesystem::create_directory(path);
      else test::WriteFile(path, "shortcut");
      if (f.starts_with("h:") || f.starts_with("s:")) ::setxattr(path.c_str(), "user.DOSATTRIB", f[0] == 'h' ? "0x2" : "0x4", 3, 0);
      if (f.starts_with("r:")) ::chmod(path.c_str(), 0444);
    }
  }
  std::string Load() { return test::RunHandler(machine, [&] { LoadStartupList(reg, machine, list, winIni); }); }
  std::string Save() { return test::RunHandler(machine, [&] { SaveStartupList(reg, machine, winIni.get(), list); }); }
  std::string File(const std::string& name) const { return test::ReadFile(temp.file(name)); }
  // Every file the save step may touch, attributes of the folder's files included.
  std::string Files() const {
    std::vector<std::string> shortcuts;
    for (const auto& f : std::filesystem::directory_iterator(temp.file(kFolder))) shortcuts.push_back(kFolder + f.path().filename().string());
    return File("system.reg") + File("user.reg") + File("drive_c/WINDOWS/WIN.INI") + Attributes(shortcuts);
  }
  // The value lines of a key in a hive file, "none" without the key.
  std::string Values(const std::string& hive, const std::string& key) const {
    const std::string text = File(hive) + "\n";
    size_t at = text.find("\n[" + test::Doubled(key) + "]");
    if (at == std::string::npos) return "none";
    at = text.find('\n', at + 1);
    while (text[at + 1] == '#') at = text.find('\n', at + 1);
    return text.substr(at + 1, text.find("\n\n", at) - at - 1);
  }
  // The stored DOS attributes of files of the prefix, as "0x2 ro|" each.
  std::string Attributes(const std::vector<std::string>& files) const {
    std::string all;
    for (const std::string& f : files) {
      char bits[8] = {};
      struct stat st {};
      ::getxattr(temp.file(f).c_str(), "user.DOSATTRIB", bits, sizeof bits - 1);
      all += bits + std::string(::stat(temp.file(f).c_str(), &st) == 0 && !(st.st_mode & 0222) ? " ro|" : "|");
    }
    return all;
  }

  test::TempPrefix temp;
  store::Machine machine{temp.path(), store::MachineOptions{nullptr, test::FixedClock}};
  store::TRegistry reg{machine};
  StartupList list;
  std::unique_ptr<store::TIniFile> winIni;
};

// The rows as the list shows them: name, state, source, command line, picture.
std::string Rows(const StartupList& list) {
  std::string rows;
  for (const StartupEntry& e : list.Entries())
    rows += e.Name + "|" + std::string(e.State()) + "|" + std::string(SourceText(e.Source)) + "|" + e.CommandLine +
            "|" + std::to_string(e.Picture()) + "\n";
  return rows;
}

// The four sources in their order, with each row's texts and picture. Missing
// keys and folders give no entries: the page is disabled only without Shell
// Folders, and an empty folder value never lists the root of the drive.
TEST(Load, ListsTheFourSourcesInOrder) {
  const std::string w = "[windows]\r\nrun=W.EXE\r\n", wRow = "W|Да|Win.Ini|W.EXE|0\n";
  const std::tuple<Keys, Keys, std::string, std::vector<std::string>, std::string, bool> cases[] = {
      {{{kRun, "\"App\"=\"C:\\\\APP.EXE\"\n\"Both\"=\"B.EXE\""}, {kRunOff, R"("Both"="B.EXE -x")"}},
       {{kRun, "\"Clock\"=str(2):\"%windir%\\\\CLOCK.EXE\"\n\"Пусто\"=\"\""}, {kRunOff, R"("Off"="C:\\OFF.EXE")"}, {kShell, kFolderValue}},
       "[windows]\r\nload=A.EXE B.EXE\r\nrun=C:\\TOOLS\\CLOCK\r\nrun-= D,E.EXE\tF.EXE  G \r\n",  // split at spaces only
       {"b.lnk", "h:Hidden.lnk", "r:A.B.lnk", "s:Sys.lnk", "d:Sub"},
       "App|Да|Реестр (Общий)|C:\\APP.EXE|0\nBoth|Да|Реестр (Общий)|B.EXE|0\nBoth|Нет|Реестр (Общий)|B.EXE -x|1\n"
       "Clock|Да|Реестр (Личный)|%windir%\\CLOCK.EXE|0\nПусто|Да|Реестр (Личный)||0\n"
       "Off|Нет|Реестр (Личный)|C:\\OFF.EXE|1\nA.B|Да|Меню|A.B.lnk|0\nHidden|Нет|Меню|Hidden.lnk|1\n"
       "Sys|Да|Меню|Sys.lnk|0\nb|Да|Меню|b.lnk|0\nA|Да|Win.Ini|A.EXE|0\nB|Да|Win.Ini|B.EXE|0\n"
       "CLOCK|Да|Win.Ini|C:\\TOOLS\\CLOCK|0\nD,E.EXE\tF|Нет|Win.Ini|D,E.EXE\tF.EXE|1\nG|Нет|Win.Ini|G|1\n",
       true},
      {{{kRunOff, R"("M"="M.EXE")"}}, {{kRun, R"("U"="U.EXE")"}, {kShell, kFolderValue}}, w, {"F.lnk"},
       "U|Да|Реестр (Личный)|U.EXE|0\nF|Да|Меню|F.lnk|0\n" + wRow, true},
      {{{kRun, R"("M"="M.EXE")"}}, {}, w, {"F.lnk"}, "M|Да|Реестр (Общий)|M.EXE|0\n" + wRow, false},
      {{}, {{kShell, R"("Startup"="")"}}, w, {"F.lnk"}, wRow, true},
      {{}, {{kShell, R"("Startup"="C:\\NOWHERE")"}}, w, {"F.lnk"}, wRow, true},
  };
  for (const auto& [system, user, winIni, files, rows, enabled] : cases) {
    Prefix p(system, user, winIni, files);
    test::WriteFile(p.temp.file("drive_c/AUTOEXEC.BAT"), "");
    EXPECT_EQ(p.Load(), "");
    EXPECT_EQ(Rows(p.list), rows);
    EXPECT_TRUE(p.list.Complete() && p.winIni && p.list.PageEnabled() == enabled) << rows;
  }
}

// The title taken from a command line, the file name without its last extension,
// where the load's rows have no case: a drive without a folder, a dotted folder, none.
TEST(Load, ProgramTitle) {
  for (auto [path, title] : {std::pair{"D:PROG.COM", "PROG"}, {"C:\\A.DIR\\PROG", "PROG"}, {"", ""}})
    EXPECT_EQ(ProgramTitle(path), title) << path;
}

// Each operation changes its own row only and says which; Win.Ini refuses a
// command line with a space or none; only a mouse press moves the buttons.
TEST(Operations, EachChangesItsRowOnlyAndRefusesWhatWinIniCannotKeep) {
  using K = RowChange::Kind;
  StartupList list;
  for (StartupEntry e : {StartupEntry{"R", true, Source::Common, "C:\\R.EXE"}, {"W", true, Source::WinIni, "W.EXE"},
                         {"F", false, Source::Menu, "F.lnk"}})
    list.Append(e);
  auto buttons = [&] { return std::string(list.DelBtnEnabled() ? "D" : "") + (list.ComBtnEnabled() ? "C" : ""); };
  EXPECT_TRUE(list.Toggle(-1) == RowChange{} && list.Remove(3) == RowChange{} && list.Rename(3, "X") == RowChange{});
  EXPECT_EQ(list.Toggle(0), (RowChange{K::Changed, 0}));
  list.Toggle(0);
  EXPECT_EQ(list.Add("C:\\Program Files\\App\\NEW.EXE"), (RowChange{K::Appended, 3}));
  EXPECT_THROW(list.SetSource(3, Source::WinIni), ERefused);
  EXPECT_THROW(list.SetCommandLine(1, "C:\\A B.EXE"), ERefused);
  EXPECT_THROW(list.SetCommandLine(1, ""), ERefused);
  EXPECT_EQ(list.SetCommandLine(1, "C:\\Z.EXE"), (RowChange{K::Changed, 1}));
  list.SetCommandLine(3, "C:\\A B.EXE");  // the registry keeps spaces
  EXPECT_EQ(list.SetSource(0, Source::WinIni), (RowChange{K::Changed, 0}));
  EXPECT_EQ(list.CanRename(0) + 2 * list.CanRename(2) + 4 * list.CanRename(3), 4);
  EXPECT_EQ(list.Rename(0, "X"), RowChange{});
  // Removing a folder entry toggles it, with the buttons of the last row pressed.
  EXPECT_EQ(buttons(), "");
  list.MouseDown(2);
  EXPECT_EQ(buttons(), "");
  list.MouseDown(1);
  EXPECT_EQ(list.Remove(2), (RowChange{K::Changed, 2}));
  EXPECT_EQ(list.Remove(1), (RowChange{K::Removed, 1}));
  EXPECT_EQ(buttons(), "DC");
  list.MouseDown(-1);
  EXPECT_EQ(buttons(), "");
  EXPECT_EQ(Rows(list), "R|Да|Win.Ini|C:\\R.EXE|0\nF|Да|Меню|F.lnk|0\nNEW|Да|Реестр (Общий)|C:\\A B.EXE|0\n");
}

// The menu's states, written as one letter per item in menu order: "-" disabled,
// "e" enabled, "C" enabled and checked, "c" disabled and checked.
std::string Menu(const StartUpMenuState& m) {
  std::string s;
  for (const MenuItemState& i : {m.N1, m.N2, m.RegMnuItem, m.RegPersMnuItem, m.WinIniMnuItem, m.N5, m.AddMnuItem,
                                 m.DelMnuItem, m.N3, m.RenameMnuItem, m.ComMnuItem})
    s += i.Enabled ? (i.Checked ? 'C' : 'e') : (i.Checked ? 'c' : '-');
  return s;
}

// The items follow the selected entry; a folder entry and no entry keep the
// source checks of the menu before.
TEST(Menu, ItemsFollowTheSelectedEntryAndFolderEntriesKeepTheChecks) {
  const StartupEntry entries[] = {{"", true, Source::Common, ""}, {"", false, Source::Personal, ""},
                                  {"", true, Source::WinIni, ""}, {"", false, Source::Menu, ""}};
  const StartUpMenuState start;
  EXPECT_EQ(Menu(start), "eeCeeeeeeee");
  EXPECT_EQ(Menu(StartUpMnuPopup(nullptr, start)), "--c---e----");
  EXPECT_EQ(Menu(StartUpMnuPopup(&entries[0], start)), "CeCeeeeeeee");
  EXPECT_EQ(Menu(StartUpMnuPopup(&entries[1], start)), "eeeCeeeeeee");
  const StartUpMenuState winIni = StartUpMnuPopup(&entries[2], start);
  EXPECT_EQ(Menu(winIni), "CeeeCeeee-e");
  EXPECT_EQ(Menu(StartUpMnuPopup(&entries[3], winIni)), "ee--cee-e--");
  EXPECT_EQ(Menu(StartUpMnuPopup(nullptr, winIni)), "c---c-e----");
}

// OK rewrites each source from the list: the hives value for value, WIN.INI
// line for line, each shortcut's attributes; a second OK changes nothing.
TEST(Save, OkRewritesEachSourceFromTheListAndASecondOkChangesNothing) {
  Prefix p({{kRun, "\"Keep\"=\"K.EXE\"\n\"Old\"=\"O.EXE\""}},
           {{kRun, "\"Clock\"=str(2):\"%windir%\\\\CLOCK.EXE\"\n\"Gone\"=\"G.EXE\"\n\"Name\"=\"N.EXE\""},
            {kRunOff, R"("Off"="OFF.EXE")"},
            {kShell, kFolderValue}},
           "; c\r\n[windows]\r\nload=A.EXE B.EXE\r\nrun=C.EXE\r\nNullPort=None\r\n\r\n[Desktop]\r\nX=1\r\n",
           {"h:Show.lnk", "Hide.lnk", "r:RO.lnk", "s:Sys.lnk"});
  ASSERT_EQ(p.Load(), "");
  StartupList& l = p.list;  // Keep Old Clock Gone Name Off Hide RO Show Sys A B C
  l.Toggle(1);
  l.Rename(4, "name2");
  l.Remove(3);
  l.SetSource(10, Source::Personal);
  l.Toggle(11);
  l.Toggle(5);
  l.Toggle(7);
  l.Add("C:\\NEW.EXE");
  l.SetSource(l.Add("D.EXE").row, Source::WinIni);
  EXPECT_EQ(p.Save(), "");
  EXPECT_EQ(p.Values("system.reg", kRun), "\"Keep\"=\"K.EXE\"\n\"NEW\"=\"C:\\\\NEW.EXE\"");
  EXPECT_EQ(p.Values("system.reg", kRunOff), R"("Old"="O.EXE")");
  EXPECT_EQ(p.Values("user.reg", kRun), "\"B\"=\"B.EXE\"\n\"Clock\"=\"%windir%\\\\CLOCK.EXE\"\n\"name2\"=\"N.EXE\"");
  EXPECT_EQ(p.Values("user.reg", kRunOff), R"("Off"="OFF.EXE")");
  EXPECT_EQ(p.File("drive_c/WINDOWS/WIN.INI"),
            "; c\r\n[windows]\r\nload=\r\nrun=A.EXE D.EXE \r\nNullPort=None\r\nRun-=C.EXE \r\n\r\n[Desktop]\r\nX=1\r\n");
  EXPECT_EQ(p.Attributes({kFolder + "Hide.lnk", kFolder + "RO.lnk", kFolder + "Show.lnk", kFolder + "Sys.lnk"}), "0x2||||");
  const std::string saved = p.Files();
  EXPECT_EQ(p.Load(), "");
  EXPECT_EQ(p.Save(), "");
  EXPECT_EQ(p.Files(), saved);
}

// Two entries written as one value name of one key, names compared without
// regard to case, are named in one message; other sources may repeat names.
TEST(Save, TwoEntriesForOneValueNameAreNamed) {
  const std::pair<std::vector<StartupEntry>, std::string> lists[] = {
      {{{"App", true, Source::Common, "A"}, {"x", true, Source::Common, ""}, {"aPP", true, Source::Common, "B"}},
       "Записи «App» и «aPP» («Реестр (Общий)», запуск «Да»)" + kClash},
      {{{"Я", false, Source::Personal, ""}, {"я", false, Source::Personal, ""}}, "Записи «Я» и «я» («Реестр (Личный)», запуск «Нет»)" + kClash},
      {{{"A", true, Source::Common, ""}, {"A", false, Source::Common, ""}, {"A", true, Source::Personal, ""},
        {"A", true, Source::WinIni, ""}, {"A", true, Source::WinIni, ""}, {"A", true, Source::Menu, ""}, {"A", true, Source::Menu, ""}},
       ""},
  };
  for (const auto& [entries, message] : lists) {
    StartupList list;
    for (const StartupEntry& e : entries) list.Append(e);
    EXPECT_EQ(NameClash(list), message);
  }
}

// Whatever the load could not finish or the save must refuse leaves every file
// as it was: an unfinished load disables the page, and entries it never read
// are not removed; a name clash, a Run key that can be neither opened nor made
// (nothing lands in another key), a list Win.Ini's code page cannot hold (the
// lists are put back rather than left emptied).
TEST(Save, NothingIsWrittenAfterAnUnfinishedLoadOrARefusedSave) {
  using Change = void (*)(StartupList&);
  const Change toggle = [](StartupList& l) { l.Toggle(0); }, none = [](StartupList&) {};
  const std::string load = "[windows]\r\nload=A.EXE\r\n", off = R"("B"="B.EXE")";
  const std::string keys = R"(\Software\Microsoft\Windows\CurrentVersion\Run)";
  const std::tuple<Keys, Keys, std::string, Change, std::string, std::string> cases[] = {
      {{{kRun, "\"A\"=\"A.EXE\"\n\"B\"=dword:00000001"}}, {{kShell, kFolderValue}}, "[windows]\r\nrun=W.EXE\r\n", toggle,
       "Invalid data type for 'B'", ""},
      {{{kRun, R"("A"="A.EXE")"}}, {{kShell, kFolderValue}}, "[windows]\r\nload=" + std::string(2100, 'X') + "\r\n", toggle,
       "Список «Load» раздела [Windows] файла «Win.Ini» занимает 2047 знаков или больше", ""},
      {{{kRun, "\"Keep\"=\"K.EXE\"\n\"Old\"=\"O.EXE\""}}, {{kShell, kFolderValue}}, load,
       [](StartupList& l) { l.Rename(1, "KEEP"); }, "", "Записи «Keep» и «KEEP» («Реестр (Общий)», запуск «Да»)" + kClash},
      {{{kRun, R"("A"="A.EXE")"}, {kRunOff, kBrokenLink}}, {}, load, none, "",
       "Failed to set data for 'HKEY_LOCAL_MACHINE" + keys + "-'"},
      {{{kRun, R"("A"="A.EXE")"}, {kRunOff, off}}, {{kRun, kBrokenLink}, {kRunOff, off}}, load, none, "",
       "Failed to set data for 'HKEY_CURRENT_USER" + keys + "'"},
      {{{kRun, R"("A"="A.EXE")"}, {kRunOff, off}}, {{kRun, R"("U"="U.EXE")"}, {kRunOff, off}}, "[windows]\r\nload=A.EXE B.EXE\r\nrun-=C.EXE\r\n",
       [](StartupList& l) { l.SetSource(l.Add("C:\\中.EXE").row, Source::WinIni); }, "", "Unable to write to Win.Ini"},
  };
  for (const auto& [system, user, winIni, change, loadError, saveError] : cases) {
    Prefix p(system, user, winIni, {"h:F.lnk"});
    const std::string before = p.Files(), loaded = p.Load();
    EXPECT_TRUE(loaded.starts_with(loadError) && loaded.empty() == loadError.empty()) << loaded;
    EXPECT_TRUE(loadError.empty() || (p.list.size() >= 1 && !p.list.Complete() && !p.list.PageEnabled()));
    change(p.list);
    EXPECT_EQ(p.Save(), saveError);
    EXPECT_EQ(p.Files(), before) << saveError;
  }
}

// Only files directly in the folder get attributes: no paths, no missing
// files, no links out of it, nothing at all without a folder value.
TEST(Save, FolderEntriesTouchOnlyFilesInsideTheStartupFolder) {
  for (const std::string& value : {kFolderValue, std::string(R"("Startup"="")")}) {
    Prefix p({}, {{kShell, value}}, "", {"h:In.lnk"});
    for (const char* outside : {"drive_c/WINDOWS/Out.lnk", "drive_c/In.lnk"}) test::WriteFile(p.temp.file(outside), "");
    std::filesystem::create_symlink("../../../Out.lnk", p.temp.file(kFolder + "Link.lnk"));
    ASSERT_EQ(p.Load(), "");
    for (int row = 0; row < p.list.size(); ++row) p.list.Toggle(row);
    for (const char* name : {"..\\..\\..\\Out.lnk", "../../../Out.lnk", "C:..\\..\\..\\Out.lnk", "..", "Gone.lnk", "In.lnk"})
      p.list.Append({"x", false, Source::Menu, name});
    EXPECT_EQ(p.Save(), "");
    EXPECT_EQ(p.Attributes({"drive_c/WINDOWS/Out.lnk", "drive_c/In.lnk"}), "||") << value;
  }
}

}  // namespace
}  // namespace frambul::startup
