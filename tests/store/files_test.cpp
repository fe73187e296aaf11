// DOS file attributes and folder listing on a prefix, checked against the
// permission bits and the user.DOSATTRIB text Wine reads.

#include "engine/store/files.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "engine/store/inifile.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadFile;
using test::TempPrefix;

// The stored user.DOSATTRIB bytes, or nothing when the file has none.
std::optional<std::string> DosAttrib(const std::string& path) {
  char buf[64];
  ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", buf, sizeof buf);
  if (n < 0) return std::nullopt;
  return std::string(buf, static_cast<size_t>(n));
}

void SetDosAttrib(const std::string& path, std::string_view text) {
  ASSERT_EQ(::setxattr(path.c_str(), "user.DOSATTRIB", text.data(), text.size(), 0), 0) << path;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Name and attributes of every entry a listing gives.
std::vector<std::pair<std::string, int>> List(Machine& machine, std::string_view pattern, int mask) {
  std::vector<std::pair<std::string, int>> out;
  TSearchRec rec;
  if (SearchFirst(machine, pattern, mask, rec) != 0) return out;
  do {
    out.emplace_back(rec.Name, rec.Attr);
  } while (SearchNext(rec) == 0 && out.size() < 1000);
  SearchEnd(rec);
  return out;
}

using Listing = std::vector<std::pair<std::string, int>>;

Listing Sorted(Listing l) {
  std::sort(l.begin(), l.end());
  return l;
}

class FilesTest : public ::testing::Test {
 protected:
  FilesTest() : machine(prefix.path(), MachineOptions{nullptr, FixedClock}) {}
  std::string C(std::string_view relative) const { return prefix.file("drive_c/" + std::string(relative)); }
  void Touch(std::string_view relative, mode_t mode = 0644) {
    test::WriteFile(C(relative), "x");
    ASSERT_EQ(::chmod(C(relative).c_str(), mode), 0);
  }

  TempPrefix prefix;
  Machine machine;
};

// Each call replaces all bits; the table runs in order on one file.
TEST_F(FilesTest, SetAttributesStoresBitsAsWineKeepsThem) {
  Touch("FILE.TXT", 0664);
  struct Step {
    int set;
    mode_t mode;
    std::optional<std::string> dosattrib;
    int readBack;
  };
  const Step steps[] = {
      {36, 0664, "0x4", 36},                // system + archive (boot file, shown)
      {6, 0664, "0x6", 38},                 // hidden + system
      {7, 0444, "0x6", 39},                 // read-only: every write bit goes
      {32, 0644, std::nullopt, 32},         // read-only cleared: the owner may write again
      {34, 0644, "0x2", 34},                // hidden (disabled startup shortcut)
      {7, 0444, "0x6", 39},
      {34, 0644, "0x2", 34},
      {1, 0444, std::nullopt, 33},
      {16 | 32, 0644, std::nullopt, 32},    // directory and archive are not stored
  };
  for (const Step& s : steps) {
    SCOPED_TRACE("attributes " + std::to_string(s.set));
    EXPECT_EQ(SetAttributes(machine, "C:\\FILE.TXT", s.set), 0);
    EXPECT_EQ(Mode(C("FILE.TXT")), s.mode);
    EXPECT_EQ(DosAttrib(C("FILE.TXT")), s.dosattrib);
    EXPECT_EQ(GetAttributes(machine, "c:\\file.txt"), s.readBack);
  }
  EXPECT_EQ(ReadFile(C("FILE.TXT")), "x");
}

TEST_F(FilesTest, GetAttributesReadsWhatWineWrites) {
  Touch("plain.txt");
  Touch("ro.txt", 0444);
  Touch("nul.txt");
  SetDosAttrib(C("nul.txt"), std::string("0x6\0", 4));  // a trailing NUL is accepted
  Touch("upper.txt");
  SetDosAttrib(C("upper.txt"), "0X6");  // not Wine's form: ignored
  Touch("bare.txt");
  SetDosAttrib(C("bare.txt"), "6");
  Touch("samba.txt");
  SetDosAttrib(C("samba.txt"), "0x22");  // only hidden and system count
  Touch(".profile");
  std::filesystem::create_directories(C("Folder/.cfg"));

  EXPECT_EQ(GetAttributes(machine, "C:\\plain.txt"), 32);
  EXPECT_EQ(GetAttributes(machine, "C:\\RO.TXT"), 33);
  EXPECT_EQ(GetAttributes(machine, "C:\\nul.txt"), 38);
  EXPECT_EQ(GetAttributes(machine, "C:\\upper.txt"), 32);
  EXPECT_EQ(GetAttributes(machine, "C:\\bare.txt"), 32);
  EXPECT_EQ(GetAttributes(machine, "C:\\samba.txt"), 34);
  EXPECT_EQ(GetAttributes(machine, "C:\\.profile"), 34);
  EXPECT_EQ(GetAttributes(machine, "C:\\Folder"), 16);
  EXPECT_EQ(GetAttributes(machine, "C:\\FOLDER\\.cfg"), 18);
  EXPECT_EQ(GetAttributes(machine, "C:\\missing.txt"), -1);
}

TEST_F(FilesTest, MissingFileGivesErrorTwoAndChangesNothing) {
  EXPECT_EQ(SetAttributes(machine, "C:\\MISSING.TXT", 7), 2);
  EXPECT_EQ(SetAttributes(machine, "C:\\MISSING.TXT", 32), 2);
  EXPECT_NE(SetAttributes(machine, "C:\\NO FOLDER\\MISSING.TXT", 6), 0);
  EXPECT_FALSE(std::filesystem::exists(C("MISSING.TXT")));
  EXPECT_FALSE(std::filesystem::exists(C("NO FOLDER")));
}

TEST_F(FilesTest, SearchListsFilesByMask) {
  std::filesystem::create_directories(C("Folder/Sub"));
  std::filesystem::create_directories(C("Folder/HSub"));
  SetDosAttrib(C("Folder/HSub"), "0x2");
  Touch("Folder/plain.txt");
  Touch("Folder/readonly.txt", 0444);
  Touch("Folder/hidden.txt");
  SetDosAttrib(C("Folder/hidden.txt"), "0x2");
  Touch("Folder/system.sys");
  SetDosAttrib(C("Folder/system.sys"), "0x4");
  Touch("Folder/both.lnk");
  SetDosAttrib(C("Folder/both.lnk"), "0x6");
  Touch("Folder/.dotfile");
  Touch("Folder/NOEXT");

  // Mask 47 (the Startup folder's listing): every file, hidden and system ones too; no folders.
  EXPECT_EQ(Sorted(List(machine, "C:\\Folder\\*.*", 47)),
            (Listing{{".dotfile", 34},
                     {"NOEXT", 32},
                     {"both.lnk", 38},
                     {"hidden.txt", 34},
                     {"plain.txt", 32},
                     {"readonly.txt", 33},
                     {"system.sys", 36}}));
  EXPECT_EQ(Sorted(List(machine, "c:\\FOLDER\\*.*", 0)),
            (Listing{{"NOEXT", 32}, {"plain.txt", 32}, {"readonly.txt", 33}}));
  EXPECT_EQ(Sorted(List(machine, "C:\\Folder\\*.*", faHidden)),
            (Listing{{".dotfile", 34}, {"NOEXT", 32}, {"hidden.txt", 34}, {"plain.txt", 32}, {"readonly.txt", 33}}));
  // With the directory bit in the mask, folders come too, "." and ".." among them as on Windows.
  EXPECT_EQ(Sorted(List(machine, "C:\\Folder\\*.*", faDirectory)),
            (Listing{{".", 16}, {"..", 16}, {"NOEXT", 32}, {"Sub", 16}, {"plain.txt", 32}, {"readonly.txt", 33}}));
  EXPECT_EQ(Sorted(List(machine, "C:\\Folder\\*", faDirectory | faHidden)),
            (Listing{{".", 16},
                     {"..", 16},
                     {".dotfile", 34},
                     {"HSub", 18},
                     {"NOEXT", 32},
                     {"Sub", 16},
                     {"hidden.txt", 34},
                     {"plain.txt", 32},
                     {"readonly.txt", 33}}));
}

TEST_F(FilesTest, SearchPatternsMatchWithoutRegardToCase) {
  std::filesystem::create_directories(C("Links"));
  for (const char* name : {"a.lnk", "B.LNK", "Ярлык.Lnk", "c.lnk.bak", "lnk", "d.txt", "ab.lnk"}) Touch(std::string("Links/") + name);
  EXPECT_EQ(Sorted(List(machine, "C:\\Links\\*.lnk", 47)),
            (Listing{{"B.LNK", 32}, {"a.lnk", 32}, {"ab.lnk", 32}, {"Ярлык.Lnk", 32}}));
  EXPECT_EQ(Sorted(List(machine, "C:\\Links\\*.LNK", 47)).size(), 4u);
  EXPECT_EQ(Sorted(List(machine, "C:\\Links\\?.lnk", 47)), (Listing{{"B.LNK", 32}, {"a.lnk", 32}}));
  EXPECT_EQ(Sorted(List(machine, "C:\\Links\\ярлык.*", 47)), (Listing{{"Ярлык.Lnk", 32}}));
  EXPECT_EQ(List(machine, "C:\\Links\\*.exe", 47), Listing{});
}

TEST_F(FilesTest, SearchOfAnEmptyOrMissingFolderFindsNothing) {
  std::filesystem::create_directories(C("Empty"));
  TSearchRec rec;
  EXPECT_NE(SearchFirst(machine, "C:\\Empty\\*.*", 47, rec), 0);
  EXPECT_NE(SearchNext(rec), 0);
  SearchEnd(rec);
  EXPECT_NE(SearchFirst(machine, "C:\\Missing\\*.*", 47, rec), 0);
  Touch("Empty/hidden.txt");
  SetDosAttrib(C("Empty/hidden.txt"), "0x2");
  EXPECT_NE(SearchFirst(machine, "C:\\Empty\\*.*", 0, rec), 0);  // nothing the mask lets through
  EXPECT_FALSE(std::filesystem::exists(C("Missing")));
}

// The program runs as the prefix's owner, not as root: a user attribute of a
// file without write permission cannot be changed, so read-only has to go
// before hidden and system change, and come back after.
TEST(FilesAsOwner, ReadOnlyHiddenSystemFileCanBeOpenedAndClosedAgain) {
  TempPrefix prefix;
  const std::string msdos = prefix.file("drive_c/MSDOS.SYS");
  test::WriteFile(msdos, "[Options]\r\nBootGUI=1\r\n");
  SetDosAttrib(msdos, "0x6");
  ASSERT_EQ(::chmod(msdos.c_str(), 0444), 0);
  const bool root = ::geteuid() == 0;
  const uid_t nobody = 65534;
  if (root) {
    ASSERT_EQ(::lchown(prefix.path().c_str(), nobody, nobody), 0);
    for (const auto& e : std::filesystem::recursive_directory_iterator(prefix.path()))
      ASSERT_EQ(::lchown(e.path().c_str(), nobody, nobody), 0) << e.path();
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    // Relative paths: the child may not be allowed to walk down from "/".
    if (::chdir(prefix.path().c_str()) != 0) ::_exit(90);
    if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(91);
    int code = 0;
    try {
      Machine machine(".");
      if (int rc = SetAttributes(machine, "C:\\MSDOS.SYS", 36)) ::_exit(10 + rc);
      TIniFile(machine, "C:\\MSDOS.SYS").WriteText("Options", "BootGUI", "0");
      if (int rc = SetAttributes(machine, "C:\\MSDOS.SYS", 7)) ::_exit(50 + rc);
    } catch (...) {
      code = 92;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10+n: opening gave error n; 50+n: closing gave error n";
  EXPECT_EQ(ReadFile(msdos), "[Options]\r\nBootGUI=0\r\n");
  EXPECT_EQ(Mode(msdos), 0444u);
  EXPECT_EQ(DosAttrib(msdos), "0x6");
}

TEST(FileNamePart, TakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FileNamePart("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(FileNamePart("C:b"), "b");
  EXPECT_EQ(FileNamePart("plain"), "plain");
  EXPECT_EQ(FileNamePart("C:\\MSDOS.Sys"), "MSDOS.Sys");
  EXPECT_EQ(FileNamePart("C:\\WINDOWS\\"), "");
  EXPECT_EQ(FileNamePart("C:"), "");
  EXPECT_EQ(FileNamePart(""), "");
  EXPECT_EQ(FileNamePart("\\\\server\\share\\Проверка почты.lnk"), "Проверка почты.lnk");
}

// The sample Windows 98 machine, copied by the script that sets its attributes.
class SampleMachine : public ::testing::Test {
 protected:
  SampleMachine() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/frambul-sample-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dest = tmpl;
    std::string cmd = "'" FRAMBUL_SOURCE_DIR "/scripts/make-sample-prefix.sh' '" + dest + "' >/dev/null";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("make-sample-prefix.sh failed");
  }
  ~SampleMachine() override {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dest, ec); !ec && it != std::filesystem::end(it); ++it)
      ::chmod(it->path().c_str(), 0700);
    std::filesystem::remove_all(dest, ec);
  }
  std::string dest;
};

TEST_F(SampleMachine, BootFileAndStartupFolderCarryTheirAttributes) {
  Machine machine(dest, MachineOptions{nullptr, FixedClock});
  const std::string msdos = dest + "/drive_c/MSDOS.SYS";
  const std::string original = ReadFile(msdos);
  EXPECT_EQ(GetAttributes(machine, "C:\\MSDOS.Sys"), 1 | 2 | 4 | 32);

  TIniFile boot(machine, "C:\\MSDOS.Sys");
  EXPECT_EQ(boot.ReadText("Options", "BootGUI", ""), "1");
  EXPECT_THROW(boot.WriteText("Options", "BootGUI", "0"), EStoreError);  // read-only
  EXPECT_EQ(ReadFile(msdos), original);

  // How the boot options are saved: attributes off, write, read-only + hidden + system back on.
  EXPECT_EQ(SetAttributes(machine, "C:\\MSDOS.Sys", 32), 0);
  boot.WriteText("Options", "BootGUI", "0");
  EXPECT_EQ(SetAttributes(machine, "C:\\MSDOS.Sys", 7), 0);
  std::string expected = original;
  expected.replace(expected.find("BootGUI=1\r\n"), 11, "BootGUI=0\r\n");
  EXPECT_EQ(ReadFile(msdos), expected);
  EXPECT_EQ(GetAttributes(machine, "C:\\MSDOS.Sys"), 39);
  EXPECT_EQ(Mode(msdos) & 0222, 0u);
  EXPECT_EQ(DosAttrib(msdos), "0x6");

  const Listing startup{{"Антивирусный монитор.lnk", 32}, {"Органайзер.lnk", 32}, {"Проверка почты.lnk", 34}};
  EXPECT_EQ(Sorted(List(machine, "C:\\WINDOWS\\Главное меню\\Программы\\Автозагрузка\\*.*", 47)), startup);
  EXPECT_EQ(Sorted(List(machine, "c:\\windows\\ГЛАВНОЕ МЕНЮ\\ПРОГРАММЫ\\АВТОЗАГРУЗКА\\*.LNK", 47)), startup);
  EXPECT_EQ(List(machine, "C:\\WINDOWS\\Главное меню\\Программы\\Автозагрузка\\*.*", 0).size(), 2u);

  // Enabling the entry again shows it.
  const std::string folder = "C:\\WINDOWS\\Главное меню\\Программы\\Автозагрузка\\";
  EXPECT_EQ(SetAttributes(machine, folder + "Проверка почты.lnk", 32), 0);
  EXPECT_EQ(List(machine, folder + "*.*", 0).size(), 3u);
  EXPECT_EQ(SetAttributes(machine, folder + "Проверка почты.lnk", 34), 0);
  EXPECT_EQ(Sorted(List(machine, folder + "*.*", 47)), startup);
}

}  // namespace
}  // namespace frambul::store
