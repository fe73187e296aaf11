// Opening a prefix, path mapping in both directions, and the guard against a
// running wineserver.

#include "engine/store/machine.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "engine/store/files.h"
#include "engine/store/inifile.h"
#include "engine/store/registry.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadFile;
using test::TempPrefix;
namespace fs = std::filesystem;

// An empty temporary folder, removed again after the test.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = fs::temp_directory_path().string() + "/frambul-dir-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets an environment variable for the scope, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

template <typename F>
std::optional<EMachineError> MachineErrorOf(F&& f) {
  try {
    f();
  } catch (const EMachineError& e) {
    return e;
  }
  return std::nullopt;
}

TEST(MachineOpen, RefusesWhatIsNotAPrefixAndCreatesNothing) {
  TempDir dir;
  fs::create_directories(dir.path() + "/empty");
  fs::create_directories(dir.path() + "/useronly");
  test::WriteFile(dir.path() + "/useronly/user.reg", TempPrefix::DefaultUserReg());
  test::WriteFile(dir.path() + "/file", "x");
  const auto before = Entries(dir.path());
  for (const std::string& folder : {dir.path() + "/empty", dir.path() + "/useronly", dir.path() + "/missing",
                                    dir.path() + "/missing/deeper", dir.path() + "/file"}) {
    SCOPED_TRACE(folder);
    auto e = MachineErrorOf([&] { Machine m(folder); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), EMachineError::Kind::NotAPrefix);
    EXPECT_NE(std::string(e->what()).find(folder), std::string::npos) << e->what();
  }
  EXPECT_EQ(Entries(dir.path()), before);
  EXPECT_TRUE(Entries(dir.path() + "/empty").empty());
  EXPECT_EQ(Entries(dir.path() + "/useronly"), std::vector<std::string>{"user.reg"});
}

TEST(MachineOpen, MissingUserRegIsNoErrorAndAppearsOnlyWhenWritten) {
  TempPrefix prefix(TempPrefix::DefaultSystemReg(), "");
  {
    Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
    machine.Flush();
    EXPECT_FALSE(fs::exists(prefix.file("user.reg")));
    TRegistry reg(machine);
    ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
    reg.WriteText("v", "1");
    machine.Flush();
  }
  EXPECT_EQ(ReadFile(prefix.file("user.reg")),
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
            "\n"
            "#arch=win32\n"
            "\n"
            "[Software\\\\Test] 1767225600\n"
            "#time=1dc7ab192810000\n"
            "\"v\"=\"1\"\n");
}

TEST(MachineOpen, OnePrefixIsOpenedOnceAtATime) {
  TempPrefix prefix;
  fs::create_directory_symlink(prefix.path(), prefix.path() + "-link");
  {
    auto first = std::make_unique<Machine>(prefix.path() + "/", MachineOptions{nullptr, FixedClock});
    EXPECT_EQ(first->prefix(), prefix.path());
    for (const std::string& spelling : {prefix.path(), prefix.path() + "-link"}) {
      auto e = MachineErrorOf([&] { Machine second(spelling); });
      ASSERT_TRUE(e) << spelling;
      EXPECT_EQ(e->kind(), EMachineError::Kind::AlreadyOpen);
      EXPECT_NE(std::string(e->what()).find(spelling), std::string::npos) << e->what();
    }
    // The refused copy took nothing from the first one.
    TRegistry reg(*first);
    ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
    reg.WriteText("v", "1");
    first->Flush();
    first.reset();
    Machine again(prefix.path());
    TRegistry reg2(again);
    ASSERT_TRUE(reg2.OpenPath("\\Software\\Test", false));
    EXPECT_EQ(reg2.ReadText("v"), "1");
  }
  fs::remove(prefix.path() + "-link");
}

TEST(MachineOpen, AHiveWithLinesItDoesNotUnderstandIsNotOpened) {
  const std::string system =
      std::string(TempPrefix::DefaultSystemReg()) + "\n[Software\\\\Broken] 946684800\n\"a\"=\"1\"\nthis is no registry line\n";
  for (const char* file : {"system.reg", "user.reg"}) {
    SCOPED_TRACE(file);
    TempPrefix prefix;
    const std::string bad = std::string(file) == "system.reg"
                                ? system
                                : std::string(TempPrefix::DefaultUserReg()) + "\nthis is no registry line\n";
    test::WriteFile(prefix.file(file), bad);
    const int line = std::string(file) == "system.reg" ? 16 : 10;
    auto e = MachineErrorOf([&] { Machine m(prefix.path()); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), EMachineError::Kind::Unreadable);
    const std::string message = e->what();
    EXPECT_NE(message.find(prefix.file(file) + ":" + std::to_string(line)), std::string::npos) << message;
    EXPECT_NE(message.find("this is no registry line"), std::string::npos) << message;
    EXPECT_EQ(ReadFile(prefix.file(file)), bad);
    // Nothing stays held: once the file is mended the prefix opens.
    test::WriteFile(prefix.file(file), std::string(file) == "system.reg" ? TempPrefix::DefaultSystemReg()
                                                                        : TempPrefix::DefaultUserReg());
    EXPECT_NO_THROW(Machine m(prefix.path()));
  }
}

TEST(MachineOpen, WindowsDirectoryAndCodePageComeFromTheRegistry) {
  {
    TempPrefix prefix;  // Windows 98: SystemRoot under Windows\CurrentVersion
    Machine machine(prefix.path());
    EXPECT_EQ(machine.WindowsDirectory(), "C:\\WINDOWS");
    EXPECT_EQ(machine.AnsiCodePage(), 1251u);
  }
  {
    TempPrefix prefix(
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
        "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 946684800\n"
        "\"SystemRoot\"=\"D:\\\\Win\"\n"
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 946684800\n"
        "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n");
    Machine machine(prefix.path());
    EXPECT_EQ(machine.WindowsDirectory(), "D:\\Win");
    EXPECT_EQ(machine.AnsiCodePage(), 1252u);
  }
  {
    TempPrefix prefix("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n");
    Machine machine(prefix.path());
    EXPECT_EQ(machine.WindowsDirectory(), "C:\\WINDOWS");
  }
}

// A SystemRoot that names no drive must not send a bare file name round in
// circles.
TEST(MachineOpen, ASystemRootWithoutDriveStillGivesAWindowsDirectory) {
  TempPrefix prefix(
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 946684800\n"
      "\"SystemRoot\"=\"WINDOWS\"\n");
  test::WriteFile(prefix.file("drive_c/WINDOWS/WIN.INI"), "");
  const std::string expected = prefix.path() + "/dosdevices/c:/WINDOWS/WIN.INI";
  // In a child, so that a crash fails this test and not the whole run.
  pid_t pid = ::fork();
  if (pid == 0) {
    int code = 2;
    try {
      Machine machine(prefix.path());
      code = machine.HostPath("Win.Ini") == expected ? 0 : 1;
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// ---------------------------------------------------------------------------
// Paths

class PathTest : public ::testing::Test {
 protected:
  PathTest() : machine(prefix.path()) {
    fs::create_directories(prefix.file("drive_c/WINDOWS/Главное меню/Программы"));
    fs::create_directories(prefix.file("drive_c/WINDOWS/SYSTEM"));
    test::WriteFile(prefix.file("drive_c/WINDOWS/WIN.INI"), "");
    test::WriteFile(prefix.file("drive_c/WINDOWS/SYSTEM.INI"), "");
  }
  // The host path below drive C: as reached through dosdevices/.
  std::string OnC(std::string_view rest) const { return prefix.path() + "/dosdevices/c:" + std::string(rest); }

  TempPrefix prefix;
  Machine machine;
};

TEST_F(PathTest, HostPathMatchesEachPartWithoutRegardToCase) {
  EXPECT_EQ(machine.HostPath("C:\\windows\\win.ini"), OnC("/WINDOWS/WIN.INI"));
  EXPECT_TRUE(fs::equivalent(machine.HostPath("C:\\windows\\win.ini"), prefix.file("drive_c/WINDOWS/WIN.INI")));
  EXPECT_EQ(machine.HostPath("c:/Windows/Win.Ini"), OnC("/WINDOWS/WIN.INI"));
  EXPECT_EQ(machine.HostPath("\\WINDOWS\\WIN.INI"), OnC("/WINDOWS/WIN.INI"));
  EXPECT_EQ(machine.HostPath("C:\\WINDOWS\\ГЛАВНОЕ МЕНЮ"), OnC("/WINDOWS/Главное меню"));
  EXPECT_EQ(machine.HostPath("C:\\WINDOWS\\главное меню\\ПРОГРАММЫ\\Новый.lnk"),
            OnC("/WINDOWS/Главное меню/Программы/Новый.lnk"));
  // A part that does not exist keeps its spelling, and so does everything after it.
  EXPECT_EQ(machine.HostPath("C:\\windows\\New Folder\\system\\File.TXT"), OnC("/WINDOWS/New Folder/system/File.TXT"));
  EXPECT_EQ(machine.HostPath("C:\\"), OnC(""));
  EXPECT_EQ(machine.HostPath("D:\\Data\\x.txt"), prefix.path() + "/dosdevices/d:/Data/x.txt");
}

TEST_F(PathTest, BareNamesGoToTheWindowsDirectory) {
  EXPECT_EQ(machine.HostPath("System.Ini"), OnC("/WINDOWS/SYSTEM.INI"));
  EXPECT_EQ(machine.HostPath("Win.Ini"), OnC("/WINDOWS/WIN.INI"));
  EXPECT_EQ(machine.HostPath("Kolpa.ini"), OnC("/WINDOWS/Kolpa.ini"));
}

TEST_F(PathTest, DotsAreResolvedAndNeverLeaveTheDrive) {
  EXPECT_EQ(machine.HostPath("C:\\WINDOWS\\SYSTEM\\..\\win.ini"), OnC("/WINDOWS/WIN.INI"));
  EXPECT_EQ(machine.HostPath("C:\\.\\windows\\.\\system.ini"), OnC("/WINDOWS/SYSTEM.INI"));
  EXPECT_EQ(machine.HostPath("C:\\Missing\\..\\WINDOWS"), OnC("/WINDOWS"));
  EXPECT_EQ(machine.HostPath("C:\\..\\..\\..\\system.reg"), OnC("/system.reg"));
  EXPECT_EQ(machine.HostPath("C:\\WINDOWS\\..\\..\\..\\..\\etc\\passwd"), OnC("/etc/passwd"));
  EXPECT_EQ(machine.HostPath("..\\..\\..\\user.reg"), OnC("/user.reg"));  // from the Windows directory
}

TEST_F(PathTest, WindowsPathMapsHostPathsBack) {
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_c/WINDOWS/WIN.INI")), "C:\\WINDOWS\\WIN.INI");
  EXPECT_EQ(machine.WindowsPath(OnC("/WINDOWS/Главное меню")), "C:\\WINDOWS\\Главное меню");
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_c/WINDOWS/New Folder/x.txt")), "C:\\WINDOWS\\New Folder\\x.txt");
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_c")), "C:\\");
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_c/")), "C:\\");
  for (const char* win : {"C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\Главное меню\\Программы"})
    EXPECT_EQ(machine.WindowsPath(machine.HostPath(win)), win);

  // Outside every drive: Z:, with or without a z: drive for /.
  char real[PATH_MAX];
  ASSERT_TRUE(::realpath(prefix.path().c_str(), real));
  std::string prefixOnZ = "Z:" + std::string(real);
  for (char& c : prefixOnZ)
    if (c == '/') c = '\\';
  EXPECT_EQ(machine.WindowsPath("/etc/passwd"), "Z:\\etc\\passwd");
  EXPECT_EQ(machine.WindowsPath(prefix.file("system.reg")), prefixOnZ + "\\system.reg");
  fs::create_directories(prefix.file("drive_cx"));  // shares the start of the drive's folder name
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_cx/a.txt")), prefixOnZ + "\\drive_cx\\a.txt");

  fs::create_directory_symlink("/", prefix.file("dosdevices/z:"));
  EXPECT_EQ(machine.WindowsPath("/etc/passwd"), "Z:\\etc\\passwd");
  EXPECT_EQ(machine.WindowsPath("/"), "Z:\\");
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_c/WINDOWS/WIN.INI")), "C:\\WINDOWS\\WIN.INI");  // the nearer drive
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_cx/a.txt")), prefixOnZ + "\\drive_cx\\a.txt");

  TempDir data;
  // A link inside drive C: that leads out of it (as Wine links Desktop into
  // the home folder) still names a place on drive C:.
  fs::create_directories(prefix.file("drive_c/users/me"));
  fs::create_directory_symlink(data.path(), prefix.file("drive_c/users/me/Desktop"));
  EXPECT_EQ(machine.WindowsPath(prefix.file("drive_c/users/me/Desktop/a.txt")), "C:\\users\\me\\Desktop\\a.txt");
  fs::create_directory_symlink(data.path(), prefix.file("dosdevices/d:"));
  EXPECT_EQ(machine.WindowsPath(data.path() + "/Docs/a.txt"), "D:\\Docs\\a.txt");
  EXPECT_EQ(machine.HostPath("d:\\docs\\A.TXT"), prefix.path() + "/dosdevices/d:/docs/A.TXT");
}

TEST(MachineDefaultPrefix, IsWinePrefixElseDotWineInHome) {
  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv wp("WINEPREFIX", "/srv/prefixes/win98");
    EXPECT_EQ(Machine::DefaultPrefix(), "/srv/prefixes/win98");
  }
  {
    ScopedEnv wp("WINEPREFIX", nullptr);
    EXPECT_EQ(Machine::DefaultPrefix(), "/home/someone/.wine");
  }
  {
    ScopedEnv wp("WINEPREFIX", "");
    EXPECT_EQ(Machine::DefaultPrefix(), "/home/someone/.wine");
  }
}

// ---------------------------------------------------------------------------
// A running wineserver, laid out as Debian's Wine does: the server folder
// ${TMPDIR}/<name in $prefix/wineserver>/server-<dev>-<ino>/ and its lock, on
// whose byte 0 a running server holds a write lock.

class FakeServer {
 public:
  explicit FakeServer(const std::string& prefix) : tmp_(), env_("TMPDIR", tmp_.path().c_str()) {
    test::WriteFile(prefix + "/wineserver", "wine-test123");
    struct stat st {};
    if (::stat(prefix.c_str(), &st) != 0) throw std::runtime_error("stat failed");
    char folder[64];
    std::snprintf(folder, sizeof folder, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::string dir = tmp_.path() + "/wine-test123/" + folder;
    fs::create_directories(dir);
    lock_ = dir + "/lock";
    test::WriteFile(lock_, "");  // left behind by every server that ran
  }
  ~FakeServer() { Stop(); }

  // Forks a process that holds the lock as a running server does.
  void Start() {
    fs::create_directories(lock_.substr(0, lock_.rfind('/')));  // as a starting server makes them
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      // Drop every inherited descriptor (the test's machine holds its prefix by one).
      if (::dup2(fds[1], 100) < 0) ::_exit(1);
      ::close_range(3, 99, 0);
      ::close_range(101, ~0U, 0);
      int fd = ::open(lock_.c_str(), O_RDWR | O_CREAT, 0600);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = 0;
      fl.l_len = 1;
      char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0 ? '1' : '0';
      if (::write(100, &ok, 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(fds[1]);
    char ok = '0';
    ssize_t n = ::read(fds[0], &ok, 1);
    ::close(fds[0]);
    if (n != 1 || ok != '1') {
      Stop();
      throw std::runtime_error("the fake server could not take its lock");
    }
  }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  TempDir tmp_;
  ScopedEnv env_;
  std::string lock_;
  pid_t pid_ = -1;
};

TEST(WineServer, ARunningServerKeepsTheMachineClosed) {
  TempPrefix prefix;
  FakeServer server(prefix.path());
  EXPECT_NO_THROW(Machine m(prefix.path()));  // a lock file alone is what an ended server leaves

  server.Start();
  auto e = MachineErrorOf([&] { Machine m(prefix.path()); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->kind(), EMachineError::Kind::WineRunning);
  EXPECT_NE(std::string(e->what()).find(prefix.path()), std::string::npos) << e->what();
  EXPECT_NE(std::string(e->what()).find("wineserver -k"), std::string::npos) << e->what();

  fs::create_directory_symlink(prefix.path(), prefix.path() + "-link");  // the same folder by another name
  e = MachineErrorOf([&] { Machine m(prefix.path() + "-link"); });
  fs::remove(prefix.path() + "-link");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->kind(), EMachineError::Kind::WineRunning);

  server.Stop();
  EXPECT_NO_THROW(Machine m(prefix.path()));
}

TEST(WineServer, NoServerCanStartWhileTheMachineIsOpen) {
  TempPrefix prefix;
  FakeServer server(prefix.path());
  {
    Machine machine(prefix.path());
    EXPECT_THROW(server.Start(), std::runtime_error);
  }
  EXPECT_NO_THROW(server.Start());
  server.Stop();
  // What the machine made to hold the lock is gone again; what was there stays.
  Machine machine(prefix.path());
}

TEST(WineServer, AServerStartedLaterStopsEveryWrite) {
  TempPrefix prefix;
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  test::WriteFile(winIni, "[windows]\r\nload=\r\n");
  test::WriteFile(prefix.file("drive_c/FILE.TXT"), "x");
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  // A server in a place the open machine could not hold: another TMPDIR.
  FakeServer server(prefix.path());
  const std::string systemBefore = ReadFile(prefix.file("system.reg"));
  TRegistry reg(machine);
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText("v", "1");
  TIniFile ini(machine, "Win.Ini");

  server.Start();
  EXPECT_THROW(machine.Flush(), EStoreError);
  EXPECT_EQ(ReadFile(prefix.file("system.reg")), systemBefore);
  EXPECT_TRUE(machine.hive(RootKey::LocalMachine).dirty());
  EXPECT_THROW(ini.WriteText("windows", "load", "x.exe"), EStoreError);
  EXPECT_NO_THROW(ini.RemoveKey("windows", "load"));
  EXPECT_EQ(ReadFile(winIni), "[windows]\r\nload=\r\n");
  EXPECT_EQ(SetAttributes(machine, "C:\\FILE.TXT", 7), 32);
  EXPECT_EQ(GetAttributes(machine, "C:\\FILE.TXT"), 32);

  server.Stop();
  machine.Flush();
  EXPECT_FALSE(machine.hive(RootKey::LocalMachine).dirty());
  EXPECT_NE(ReadFile(prefix.file("system.reg")).find("[Software\\\\Test] 1767225600\n#time=1dc7ab192810000\n\"v\"=\"1\"\n"),
            std::string::npos);
  ini.WriteText("windows", "load", "x.exe");
  EXPECT_EQ(ReadFile(winIni), "[windows]\r\nload=x.exe\r\n");
  EXPECT_EQ(SetAttributes(machine, "C:\\FILE.TXT", 7), 0);
  EXPECT_EQ(GetAttributes(machine, "C:\\FILE.TXT"), 39);
}

}  // namespace
}  // namespace frambul::store
