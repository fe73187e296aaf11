// The write path under failure: a full disk, a failing flush or rename, a
// crash before the rename. The old file must survive whole every time, and a
// successful rewrite must keep permissions, owner and extended attributes.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "engine/store/atomic_file.h"
#include "engine/store/files.h"
#include "engine/store/inifile.h"
#include "engine/store/machine.h"
#include "engine/store/registry.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::FixedClock;
using test::ReadFile;
using test::TempPrefix;
namespace fs = std::filesystem;

// Fails one of the three calls through which a file reaches the disk; a
// failing Write first writes half of what it was given, as a disk that fills
// up does.
class FailingFileSystem : public FileSystem {
 public:
  enum class Step { None, Write, Fsync, Rename };
  void FailAt(Step step, int nth = 1) {
    step_ = step;
    nth_ = nth;
    calls_ = 0;
    halfWritten_ = false;
  }

  ssize_t Write(int fd, const void* data, size_t size) override {
    if (step_ == Step::Write && ++calls_ >= nth_) {
      if (!halfWritten_ && size > 1) {
        halfWritten_ = true;
        return FileSystem::Write(fd, data, size / 2);
      }
      errno = ENOSPC;
      return -1;
    }
    return FileSystem::Write(fd, data, size);
  }
  int Fsync(int fd) override {
    if (step_ == Step::Fsync && ++calls_ >= nth_) {
      errno = EIO;
      return -1;
    }
    return FileSystem::Fsync(fd);
  }
  int Rename(const char* from, const char* to) override {
    if (step_ == Step::Rename && ++calls_ >= nth_) {
      errno = EIO;
      return -1;
    }
    return FileSystem::Rename(from, to);
  }

 private:
  Step step_ = Step::None;
  int nth_ = 1;
  int calls_ = 0;
  bool halfWritten_ = false;
};

// A process that dies between writing the temporary file and renaming it.
class CrashBeforeRename : public FileSystem {
 public:
  int Rename(const char*, const char*) override { ::_exit(42); }
};

// Temporary files of the atomic writer left in a folder.
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (name.starts_with(".") && name.find(".new-") != std::string::npos) out.push_back(name);
  }
  return out;
}

struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

std::optional<std::string> Xattr(const std::string& path, const char* name) {
  char buf[256];
  ssize_t n = ::getxattr(path.c_str(), name, buf, sizeof buf);
  if (n < 0) return std::nullopt;
  return std::string(buf, static_cast<size_t>(n));
}

// Runs `body` in a forked child and gives its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
      code = 98;
    }
    ::_exit(code);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

const char* StepName(FailingFileSystem::Step step) {
  switch (step) {
    case FailingFileSystem::Step::Write: return "Write";
    case FailingFileSystem::Step::Fsync: return "Fsync";
    case FailingFileSystem::Step::Rename: return "Rename";
    default: return "None";
  }
}

class FailedWrite : public ::testing::TestWithParam<FailingFileSystem::Step> {
 protected:
  FailedWrite() : machine(prefix.path(), MachineOptions{&fileSystem, FixedClock}) {}
  TempPrefix prefix;
  FailingFileSystem fileSystem;
  Machine machine;
};

TEST_P(FailedWrite, FlushKeepsTheOldHiveAndStaysDirty) {
  const std::string systemReg = prefix.file("system.reg");
  const std::string before = ReadFile(systemReg);
  const ino_t inode = Stat(systemReg).st_ino;
  TRegistry reg(machine);
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText("big", std::string(100000, 'x'));

  fileSystem.FailAt(GetParam());
  try {
    machine.Flush();
    ADD_FAILURE() << "the flush reported success";
  } catch (const EStoreError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + prefix.path() + "/system.reg");
  }
  EXPECT_EQ(ReadFile(systemReg), before);
  EXPECT_EQ(Stat(systemReg).st_ino, inode);
  EXPECT_EQ(Leftovers(prefix.path()), std::vector<std::string>{});
  EXPECT_TRUE(machine.hive(RootKey::LocalMachine).dirty());

  fileSystem.FailAt(FailingFileSystem::Step::None);
  machine.Flush();
  EXPECT_FALSE(machine.hive(RootKey::LocalMachine).dirty());
  EXPECT_EQ(ReadFile(systemReg), machine.hive(RootKey::LocalMachine).Write());
  EXPECT_NE(ReadFile(systemReg).find(std::string(100000, 'x')), std::string::npos);
  EXPECT_EQ(Leftovers(prefix.path()), std::vector<std::string>{});
}

TEST_P(FailedWrite, ProfileWriteKeepsTheOldFile) {
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  const std::string before = "; keep me\r\n[windows]\r\nload=\r\n";
  test::WriteFile(winIni, before);
  TIniFile ini(machine, "C:\\WINDOWS\\WIN.INI");
  TIniFile fresh(machine, "C:\\WINDOWS\\NEW.INI");

  fileSystem.FailAt(GetParam());
  try {
    ini.WriteText("windows", "load", std::string(50000, 'y'));
    ADD_FAILURE() << "the write reported success";
  } catch (const EStoreError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to C:\\WINDOWS\\WIN.INI");
  }
  fileSystem.FailAt(GetParam());
  EXPECT_THROW(fresh.WriteText("s", "k", std::string(50000, 'y')), EStoreError);
  fileSystem.FailAt(GetParam());
  EXPECT_NO_THROW(ini.RemoveKey("windows", "load"));
  EXPECT_EQ(ReadFile(winIni), before);
  EXPECT_FALSE(fs::exists(prefix.file("drive_c/WINDOWS/NEW.INI")));
  EXPECT_EQ(Leftovers(prefix.file("drive_c/WINDOWS")), std::vector<std::string>{});

  fileSystem.FailAt(FailingFileSystem::Step::None);
  ini.WriteText("windows", "load", "a.exe");
  EXPECT_EQ(ReadFile(winIni), "; keep me\r\n[windows]\r\nload=a.exe\r\n");
}

INSTANTIATE_TEST_SUITE_P(Steps, FailedWrite,
                         ::testing::Values(FailingFileSystem::Step::Write, FailingFileSystem::Step::Fsync,
                                           FailingFileSystem::Step::Rename),
                         [](const ::testing::TestParamInfo<FailingFileSystem::Step>& p) { return StepName(p.param); });

// system.reg goes first; when user.reg then fails, only user.reg stays to be written.
TEST(FailedWrite2, EachHiveIsWrittenOrKeptOnItsOwn) {
  TempPrefix prefix;
  FailingFileSystem fileSystem;
  Machine machine(prefix.path(), MachineOptions{&fileSystem, FixedClock});
  const std::string userBefore = ReadFile(prefix.file("user.reg"));
  TRegistry reg(machine);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText("user", "1");
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText("machine", "1");

  fileSystem.FailAt(FailingFileSystem::Step::Rename, 2);
  try {
    machine.Flush();
    ADD_FAILURE() << "the flush reported success";
  } catch (const EStoreError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + prefix.path() + "/user.reg");
  }
  EXPECT_FALSE(machine.hive(RootKey::LocalMachine).dirty());
  EXPECT_NE(ReadFile(prefix.file("system.reg")).find("\"machine\"=\"1\""), std::string::npos);
  EXPECT_TRUE(machine.hive(RootKey::CurrentUser).dirty());
  EXPECT_EQ(ReadFile(prefix.file("user.reg")), userBefore);

  fileSystem.FailAt(FailingFileSystem::Step::None);
  machine.Flush();
  EXPECT_NE(ReadFile(prefix.file("user.reg")).find("\"user\"=\"1\""), std::string::npos);
}

// A real short write: the file size limit stands in for a full disk.
TEST(DiskFull, FileSizeLimitLeavesTheHiveIntact) {
  TempPrefix prefix;
  const std::string before = ReadFile(prefix.file("system.reg"));
  const std::string expected = "Unable to write to " + prefix.path() + "/system.reg";
  int status = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
    TRegistry reg(machine);
    reg.SetCurrentRoot(RootKey::LocalMachine);
    if (!reg.OpenPath("\\Software\\Big", true)) return 10;
    reg.WriteText("v", std::string(200000, 'x'));
    rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 11;
    try {
      machine.Flush();
      return 12;  // reported success
    } catch (const EStoreError& e) {
      return e.what() == expected ? 0 : 13;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(prefix.file("system.reg")), before);
  EXPECT_EQ(Leftovers(prefix.path()), std::vector<std::string>{});
  EXPECT_NO_THROW(Machine again(prefix.path()));
}

// Killed after the new text is on disk but before the rename: the old file is
// what the next start finds.
TEST(Crash, BeforeRenameTheOldFilesSurvive) {
  TempPrefix prefix;
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  test::WriteFile(winIni, "[windows]\r\nload=\r\n");
  const std::string before = ReadFile(prefix.file("system.reg"));

  int status = InChild([&] {
    CrashBeforeRename crash;
    Machine machine(prefix.path(), MachineOptions{&crash, FixedClock});
    TRegistry reg(machine);
    reg.SetCurrentRoot(RootKey::LocalMachine);
    if (!reg.OpenPath("\\Software\\Test", true)) return 10;
    reg.WriteText("v", "new");
    machine.Flush();
    return 11;
  });
  EXPECT_EQ(status, 42);
  EXPECT_EQ(ReadFile(prefix.file("system.reg")), before);

  status = InChild([&] {
    CrashBeforeRename crash;
    Machine machine(prefix.path(), MachineOptions{&crash, FixedClock});
    TIniFile(machine, "Win.Ini").WriteText("windows", "load", "new.exe");
    return 11;
  });
  EXPECT_EQ(status, 42);
  EXPECT_EQ(ReadFile(winIni), "[windows]\r\nload=\r\n");

  // The prefix opens again and takes writes.
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TRegistry reg(machine);
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText("v", "after");
  machine.Flush();
  EXPECT_NE(ReadFile(prefix.file("system.reg")).find("\"v\"=\"after\""), std::string::npos);
  TIniFile(machine, "Win.Ini").WriteText("windows", "load", "after.exe");
  EXPECT_EQ(ReadFile(winIni), "[windows]\r\nload=after.exe\r\n");
}

// A rewrite is a new file renamed over the old one (never the old one cut
// short), and it carries over permissions, owner and extended attributes.
TEST(Rewrite, KeepsPermissionsOwnerAndExtendedAttributes) {
  TempPrefix prefix;
  const std::string systemReg = prefix.file("system.reg");
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  test::WriteFile(winIni, "[windows]\r\nload=\r\n");
  for (const std::string& file : {systemReg, winIni}) {
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(::setxattr(file.c_str(), "user.note", "keep", 4, 0), 0);
  }
  ASSERT_EQ(::setxattr(winIni.c_str(), "user.DOSATTRIB", "0x6", 3, 0), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(systemReg.c_str(), 1234, 2345), 0);
    ASSERT_EQ(::chown(winIni.c_str(), 1234, 2345), 0);
  }
  const struct stat regBefore = Stat(systemReg), iniBefore = Stat(winIni);

  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TRegistry reg(machine);
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\Software\\Test", true));
  reg.WriteText("v", "1");
  machine.Flush();
  TIniFile ini(machine, "Win.Ini");
  ini.WriteText("windows", "load", "a.exe");
  EXPECT_EQ(ReadFile(winIni), "[windows]\r\nload=a.exe\r\n");

  for (const auto& [file, before] : {std::pair{systemReg, regBefore}, std::pair{winIni, iniBefore}}) {
    SCOPED_TRACE(file);
    const struct stat after = Stat(file);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(Xattr(file, "user.note"), "keep");
  }
  EXPECT_EQ(Xattr(winIni, "user.DOSATTRIB"), "0x6");
  EXPECT_EQ(GetAttributes(machine, "Win.Ini"), 2 | 4 | 32);
  EXPECT_EQ(Leftovers(prefix.path()), std::vector<std::string>{});
  EXPECT_EQ(Leftovers(prefix.file("drive_c/WINDOWS")), std::vector<std::string>{});
}

// A profile file that is a link: the file it leads to is rewritten, the link stays.
TEST(Rewrite, FollowsALinkToTheFileItNames) {
  TempPrefix prefix;
  const std::string target = prefix.file("drive_c/real.ini");
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  test::WriteFile(target, "[windows]\r\nload=\r\n");
  ASSERT_EQ(::symlink("../real.ini", winIni.c_str()), 0);
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TIniFile(machine, "Win.Ini").WriteText("windows", "load", "a.exe");
  struct stat st {};
  ASSERT_EQ(::lstat(winIni.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(target), "[windows]\r\nload=a.exe\r\n");
  EXPECT_EQ(Leftovers(prefix.file("drive_c")), std::vector<std::string>{});
}

// Writing what is already there touches no file.
TEST(Rewrite, UnchangedContentIsNotRewritten) {
  TempPrefix prefix;
  const std::string systemReg = prefix.file("system.reg");
  const std::string winIni = prefix.file("drive_c/WINDOWS/WIN.INI");
  test::WriteFile(winIni, "[windows]\r\nload=a.exe\r\n");
  const ino_t regInode = Stat(systemReg).st_ino, iniInode = Stat(winIni).st_ino;

  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  TRegistry reg(machine);
  reg.SetCurrentRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenPath("\\System\\CurrentControlSet\\Control\\Nls\\CodePage", false));
  reg.WriteText("ACP", "1251");
  machine.Flush();
  TIniFile ini(machine, "Win.Ini");
  ini.WriteText("Windows", "LOAD", "a.exe");
  ini.RemoveKey("windows", "missing");
  EXPECT_EQ(Stat(systemReg).st_ino, regInode);
  EXPECT_EQ(Stat(winIni).st_ino, iniInode);
}

// Running as root: the read-only attribute still protects a file, because it is
// the permission bits that count, not whether the caller could write anyway.
TEST(ReadOnly, ProtectsAFileEvenFromRoot) {
  TempPrefix prefix;
  const std::string msdos = prefix.file("drive_c/MSDOS.SYS");
  test::WriteFile(msdos, "[Options]\r\nBootGUI=1\r\n");
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  ASSERT_EQ(SetAttributes(machine, "C:\\MSDOS.SYS", 7), 0);
  TIniFile boot(machine, "C:\\MSDOS.SYS");
  EXPECT_THROW(boot.WriteText("Options", "BootGUI", "0"), EStoreError);
  boot.RemoveKey("Options", "BootGUI");
  EXPECT_EQ(ReadFile(msdos), "[Options]\r\nBootGUI=1\r\n");
  ASSERT_EQ(SetAttributes(machine, "C:\\MSDOS.SYS", 6), 0);
  boot.WriteText("Options", "BootGUI", "0");
  EXPECT_EQ(ReadFile(msdos), "[Options]\r\nBootGUI=0\r\n");
  EXPECT_EQ(GetAttributes(machine, "C:\\MSDOS.SYS"), 38);
}

// A new file gets the permissions any program would give it.
TEST(Rewrite, NewFilesFollowTheUmask) {
  TempPrefix prefix;
  Machine machine(prefix.path(), MachineOptions{nullptr, FixedClock});
  mode_t old = ::umask(027);
  TIniFile(machine, "C:\\NEW.INI").WriteText("s", "k", "v");
  ::umask(old);
  EXPECT_EQ(Stat(prefix.file("drive_c/NEW.INI")).st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace frambul::store
