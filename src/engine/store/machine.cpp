#include "machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <vector>

#include "text.h"

namespace frambul::store {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The path without links, "." or ".."; nothing, with errno set, when a part is missing.
std::optional<std::string> RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return std::nullopt;
  std::string out(real);
  std::free(real);
  return out;
}

// Whether `path` (without links) lies in `folder` or is the folder itself.
bool Inside(std::string_view path, std::string_view folder) {
  if (folder.empty()) return false;
  if (folder == "/") return true;
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// The path that a link in its last part leads to, links to links followed.
std::string FollowLastLinks(std::string path) {
  for (int depth = 0;; ++depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    if (depth == 40) throw std::system_error(ELOOP, std::generic_category(), path);
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) throw std::system_error(errno, std::generic_category(), path);
    if (n == 0 || static_cast<size_t>(n) >= target.size())
      throw std::system_error(ENAMETOOLONG, std::generic_category(), path);
    const std::string t(target.data(), static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    path = (t[0] == '/' || slash == std::string::npos) ? t : path.substr(0, slash + 1) + t;
  }
}

// The files the program writes besides the hives, as the program names them.
constexpr const char* kProfileFiles[] = {"C:\\MSDOS.Sys", "Win.Ini", "System.Ini"};

// The name of the folder a wineserver for the prefix works in,
// "server-<dev>-<ino>" of the prefix folder in lower-case hex.
std::optional<std::string> ServerFolderName(const std::string& prefix) {
  struct stat st {};
  if (::stat(prefix.c_str(), &st) != 0) return std::nullopt;
  char name[64];
  std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  return name;
}

// The folders in which a wineserver for the prefix keeps its lock: upstream
// Wine's /tmp/.wine-<uid>/ and Debian's /run/user/<uid>/wine/ or
// ${TMPDIR:-/tmp}/<name in $WINEPREFIX/wineserver>/.
std::vector<std::string> ServerLockFiles(const std::string& prefix, const std::string& tempDirectory) {
  std::vector<std::string> files;
  const std::optional<std::string> folder = ServerFolderName(prefix);
  if (!folder) return files;
  const std::string server = "/" + *folder + "/lock";
  std::string uid = std::to_string(::getuid());
  files.push_back("/tmp/.wine-" + uid + server);
  files.push_back("/run/user/" + uid + "/wine" + server);
  std::optional<std::string> name;
  try {
    name = ReadWholeFile(prefix + "/wineserver");
  } catch (const std::system_error&) {
    // Not a file Debian's Wine wrote: no server folder named by it.
  }
  if (name && !name->empty()) {
    while (!name->empty() && (name->back() == '\n' || name->back() == '\r')) name->pop_back();
    if (name->find('/') == std::string::npos) {
      files.push_back((tempDirectory.empty() ? "/tmp" : tempDirectory) + "/" + *name + server);
    }
  }
  return files;
}

// The lock files a wineserver started now would take: Debian's Wine in
// /run/user/<uid>/wine/ or, without that folder, ${TMPDIR:-/tmp}/<name>/
// (for a prefix that names its folder); upstream Wine in /tmp/.wine-<uid>/.
std::vector<std::string> ServerLockPlaces(const std::string& prefix, const std::string& tempDirectory) {
  std::vector<std::string> all = ServerLockFiles(prefix, tempDirectory);
  if (all.empty()) return all;
  std::vector<std::string> places{all[0]};
  const bool runUser = IsDirectory("/run/user/" + std::to_string(::getuid()));
  if (runUser) places.push_back(all[1]);
  else if (all.size() > 2) places.push_back(all[2]);
  return places;
}

EMachineError WineRunning(const std::string& prefix) {
  return EMachineError(EMachineError::Kind::WineRunning,
                       "На префиксе «" + prefix + "» сейчас работает Wine: он хранит реестр у себя и перезапишет "
                       "любые изменения. Завершите его командой «WINEPREFIX=\"" + prefix + "\" wineserver -k» и повторите.");
}

// The process holding the write lock on byte 0 of a lock file, as a running
// server does: 0 when none, -1 for a lock of an open file (this program's own).
pid_t LockHolder(const std::string& lockFile) {
  int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  const bool held = ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return held ? (fl.l_pid > 0 ? fl.l_pid : -1) : 0;
}

// Whether the process `pid` (its /proc folder `procDir`) holds the lock of an
// open file whose path ends in `lockEnd`, seen through its own descriptor.
bool HoldsLock(const std::string& procDir, pid_t pid, const std::string& lockEnd) {
  DIR* fds = ::opendir((procDir + "/fd").c_str());
  if (!fds) return false;
  bool holds = false;
  while (const dirent* f = ::readdir(fds)) {
    const std::string link = procDir + "/fd/" + f->d_name;
    char target[PATH_MAX];
    const ssize_t len = ::readlink(link.c_str(), target, sizeof target);
    if (len <= 0 || static_cast<size_t>(len) >= sizeof target) continue;
    if (std::string_view(target, static_cast<size_t>(len)).ends_with(lockEnd) && LockHolder(link) == pid) {
      holds = true;
      break;
    }
  }
  ::closedir(fds);
  return holds;
}

// Whether a wineserver process holds the lock in a folder named
// `serverFolder`. Found through /proc, so wherever that folder lies: a server
// started with another TMPDIR keeps it where this program cannot guess it.
// The server keeps its lock file open for as long as it runs (its working
// folder is no guide: it moves into the prefix to load and save the
// registry). Debian runs /usr/lib/wine/wineserver64, upstream Wine wineserver.
bool ServerProcessRuns(const std::string& serverFolder) {
  const std::string lockEnd = "/" + serverFolder + "/lock";
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  bool runs = false;
  while (!runs) {
    const dirent* e = ::readdir(proc);
    if (!e) break;
    const std::string_view pid = e->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos) continue;
    const std::string dir = "/proc/" + std::string(pid);
    char comm[32] = {};
    int fd = ::open((dir + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    const ssize_t n = ::read(fd, comm, sizeof comm - 1);
    ::close(fd);
    if (n <= 0 || std::string_view(comm, static_cast<size_t>(n)).substr(0, 10) != "wineserver") continue;
    runs = HoldsLock(dir, static_cast<pid_t>(std::atoi(pid.data())), lockEnd);
  }
  ::closedir(proc);
  return runs;
}

int64_t SystemNow() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kTicksPerSecond + ts.tv_nsec / 100 + kTicks1601To1970;
}

}  // namespace

std::string Machine::DefaultPrefix() {
  if (const char* p = std::getenv("WINEPREFIX"); p && *p) return p;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
  }
  return std::string(home ? home : "") + "/.wine";
}

Machine::Machine(const std::string& prefix, MachineOptions options)
    : prefix_(prefix), options_(std::move(options)), fs_(options_.fileSystem ? options_.fileSystem : &defaultFs_) {
  while (prefix_.size() > 1 && prefix_.back() == '/') prefix_.pop_back();
  if (!options_.tempDirectory) {
    const char* tmp = std::getenv("TMPDIR");
    options_.tempDirectory = tmp ? tmp : "";
  }
  if (!IsDirectory(prefix_))
    throw EMachineError(EMachineError::Kind::NotAPrefix, "Префикс Wine «" + prefix_ + "» не найден.");
  if (!Exists(prefix_ + "/system.reg"))
    throw EMachineError(EMachineError::Kind::NotAPrefix,
                        "Папка «" + prefix_ + "» не является префиксом Wine: в ней нет файла system.reg.");
  // Our own lock: one copy of the program per prefix. A flock on the prefix
  // folder itself puts no file into the prefix and dies with the process.
  lockFd_ = ::open(prefix_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
    if (err == EWOULDBLOCK)
      throw EMachineError(EMachineError::Kind::AlreadyOpen,
                          "Префикс Wine «" + prefix_ + "» уже открыт другой копией программы.");
    throw EMachineError(EMachineError::Kind::Unreadable,
                        "Префикс Wine «" + prefix_ + "» не открывается: " + FailureReason(err, false) + ".");
  }
  // Where changes must stay; should the folder not resolve, no change is allowed.
  realPrefix_ = RealPath(prefix_).value_or("");
  try {
    CheckNoServer();
    noServerSinceFlush_ = true;
    HoldServerLocks();
    system_ = LoadHive("system.reg", true);
    user_ = LoadHive("user.reg", false);
  } catch (...) {
    ReleaseServerLocks();
    ::close(lockFd_);
    throw;
  }

  std::string dir = ReadMachineString(u"Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot");
  if (dir.empty()) dir = ReadMachineString(u"Software\\Microsoft\\Windows\\CurrentVersion", u"SystemRoot");
  // Only a full path with a drive letter can serve; anything else would make
  // bare file names resolve against themselves.
  bool drivePath = dir.size() >= 3 && ((dir[0] | 0x20) >= 'a' && (dir[0] | 0x20) <= 'z') && dir[1] == ':' &&
                   (dir[2] == '\\' || dir[2] == '/');
  windowsDirectory_ = drivePath ? dir : "C:\\WINDOWS";

  std::string acp = ReadMachineString(u"System\\CurrentControlSet\\Control\\Nls\\CodePage", u"ACP");
  char* end = nullptr;
  unsigned long n = std::strtoul(acp.c_str(), &end, 10);
  if (!acp.empty() && end && !*end && n > 0 && n < 65536) ansiCodePage_ = static_cast<unsigned>(n);
  RemoveLeftovers();
}

std::string Machine::ReadMachineString(std::u16string_view path, std::u16string_view name) {
  KeyRef k = OpenKey(Root(RootKey::LocalMachine), path, false);
  return k ? ToUtf8(StringValueText(k.key->findValue(name))) : std::string();
}

Machine::~Machine() {
  ReleaseServerLocks();
  if (lockFd_ >= 0) ::close(lockFd_);
}

void Machine::HoldServerLocks() {
  for (const std::string& file : ServerLockPlaces(prefix_, *options_.tempDirectory)) {
    HeldLock held;
    held.file = file;
    // The server's folders, made as Wine makes them (owner only).
    const std::string serverDir = file.substr(0, file.rfind('/'));
    const std::string baseDir = serverDir.substr(0, serverDir.rfind('/'));
    if (::mkdir(baseDir.c_str(), 0700) == 0) held.madeBaseDir = true;
    ::mkdir(serverDir.c_str(), 0700);
    held.fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // An open-file-description lock: it conflicts with the server's fcntl lock
    // and, unlike a process lock, survives other descriptors of the file closing.
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    if (held.fd >= 0 && ::fcntl(held.fd, F_OFD_SETLK, &fl) == 0) {
      serverLocks_.push_back(std::move(held));
      continue;
    }
    const bool serverHoldsIt = held.fd >= 0 && (errno == EAGAIN || errno == EACCES);
    if (held.fd >= 0) ::close(held.fd);
    if (held.madeBaseDir) ::rmdir(baseDir.c_str());
    if (serverHoldsIt) throw WineRunning(prefix_);
    // Where the lock cannot be held, the check before each write still guards.
  }
}

void Machine::ReleaseServerLocks() {
  for (HeldLock& held : serverLocks_) {
    // The lock file and its folder go while the lock is held, so no server is
    // using them; Wine makes both again when it starts.
    const std::string serverDir = held.file.substr(0, held.file.rfind('/'));
    ::unlink(held.file.c_str());
    ::rmdir(serverDir.c_str());
    if (held.madeBaseDir) ::rmdir(serverDir.substr(0, serverDir.rfind('/')).c_str());
    ::close(held.fd);
  }
  serverLocks_.clear();
}

int64_t Machine::Now() const { return options_.clock ? options_.clock() : SystemNow(); }

std::unique_ptr<Hive> Machine::LoadHive(const std::string& file, bool required) {
  std::string path = prefix_ + "/" + file;
  try {
    // Read in pieces: the whole file is never in memory beside its tree.
    HiveReader reader(path, Now());
    bool exists;
    try {
      exists = ReadFilePieces(path, [&](std::string_view piece) { reader.Feed(piece); });
    } catch (const std::system_error& e) {
      throw EMachineError(EMachineError::Kind::Unreadable, "Не удалось прочитать файл реестра «" + path +
                                                               "»: " + FailureReason(e.code().value(), false) + ".");
    }
    if (exists) return reader.Finish();
    if (required)
      throw EMachineError(EMachineError::Kind::NotAPrefix,
                          "Папка «" + prefix_ + "» не является префиксом Wine: в ней нет файла system.reg.");
    // A prefix without user.reg gets one, in Wine's form, when something is written there.
    std::string arch = system_->header().find("\n#arch=win32\n") != std::string::npos ? "win32" : "win64";
    return Hive::Parse("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=" +
                           arch + "\n",
                       path, Now());
  } catch (const HiveFormatError& e) {
    throw EMachineError(EMachineError::Kind::Unreadable,
                        "Файл реестра «" + path + "» " +
                            (e.cutShort() ? "обрезан: его последняя строка не закончена, и конец файла, видимо, "
                                            "потерян; чтобы не записать повреждение обратно"
                                          : "содержит строки, которые программа не понимает; чтобы ничего не "
                                            "потерять") +
                            ", программа его не открывает.\n" + e.what());
  }
}

KeyRef Machine::FollowLink(KeyRef link) {
  const RegValue* v = link.key->findValue(u"SymbolicLinkValue");
  if (!v || v->type() != kRegLink) return {};
  std::u16string target = DataUnits(v->data(), false);
  if (target.empty() || target[0] != u'\\') return {};
  for (Hive* h : {system_.get(), user_.get()}) {
    const std::u16string& root = h->rootPath();
    if (root.empty() || target.size() < root.size() + 1) continue;
    if (!EqualNoCase(std::u16string_view(target).substr(1, root.size()), root)) continue;
    if (target.size() > root.size() + 1 && target[root.size() + 1] != u'\\') continue;
    return OpenKey({h, &h->root()}, std::u16string_view(target).substr(root.size() + 1), false);
  }
  return {};
}

KeyRef Machine::OpenKey(KeyRef base, std::u16string_view path, bool create) {
  if (!base || base.key->deleted()) return {};
  KeyRef cur = base;
  int links = 0;
  size_t start = 0;
  auto follow = [&]() -> bool {
    while (cur.key->isLink()) {
      if (++links > 16) return false;
      cur = FollowLink(cur);
      if (!cur) return false;
    }
    return true;
  };
  while (start <= path.size()) {
    size_t sep = path.find(u'\\', start);
    if (sep == std::u16string_view::npos) sep = path.size();
    std::u16string_view comp = path.substr(start, sep - start);
    start = sep + 1;
    if (comp.empty()) {
      if (sep == path.size()) break;
      continue;
    }
    if (comp.size() > 255 || !follow()) return {};
    RegKey* next = cur.key->findSubkey(comp);
    if (!next && create) next = cur.hive->CreateSubkey(*cur.key, comp, Now());
    if (!next) return {};
    cur.key = next;
  }
  if (!follow()) return {};
  return cur;
}

std::string Machine::HostPath(std::string_view windowsPath) const {
  std::string win(windowsPath);
  for (char& c : win)
    if (c == '/') c = '\\';
  char drive;
  std::string rest;
  if (win.size() >= 2 && win[1] == ':' && ((win[0] | 0x20) >= 'a' && (win[0] | 0x20) <= 'z')) {
    drive = static_cast<char>(win[0] | 0x20);
    rest = win.substr(2);
  } else if (!win.empty() && win[0] == '\\') {
    drive = 'c';
    rest = win;
  } else {
    return HostPath(windowsDirectory_ + "\\" + win);
  }

  std::string host = prefix_ + "/dosdevices/" + drive + ":";
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t sep = rest.find('\\', start);
    if (sep == std::string::npos) sep = rest.size();
    std::string comp = rest.substr(start, sep - start);
    start = sep + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(comp);
  }
  bool exists = true;
  for (const std::string& comp : parts) {
    std::string candidate = host + "/" + comp;
    if (exists && !Exists(candidate)) {
      // Find the name that differs from the one given only in letter case.
      exists = false;
      if (DIR* d = ::opendir(host.c_str())) {
        std::u16string want = ToUtf16(comp);
        while (dirent* e = ::readdir(d)) {
          if (EqualNoCase(std::u16string_view(ToUtf16(e->d_name)), want)) {
            candidate = host + "/" + e->d_name;
            exists = true;
            break;
          }
        }
        ::closedir(d);
      }
    }
    host = candidate;
  }
  return host;
}

std::string Machine::WindowsPath(std::string_view hostPath) const {
  // As Wine does it: the longest leading part of the path, as given, that is
  // the root folder of a drive (same device and inode) names the drive. A
  // link inside drive C: that leads elsewhere still counts as drive C:.
  std::string path(hostPath);
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    path = std::string(::getcwd(cwd, sizeof cwd) ? cwd : "") + "/" + path;
  }
  std::string clean;
  for (char c : path)
    if (!(c == '/' && !clean.empty() && clean.back() == '/')) clean.push_back(c);
  while (clean.size() > 1 && clean.back() == '/') clean.pop_back();

  struct Drive {
    char letter;
    dev_t dev;
    ino_t ino;
  };
  std::vector<Drive> drives;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    struct stat st {};
    std::string root = prefix_ + "/dosdevices/" + letter + ":";
    if (::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) drives.push_back({letter, st.st_dev, st.st_ino});
  }
  std::string part = clean;
  for (;;) {
    struct stat st {};
    if (::stat(part.c_str(), &st) == 0) {
      for (const Drive& d : drives) {
        if (d.dev != st.st_dev || d.ino != st.st_ino) continue;
        std::string rest = part == "/" ? clean : clean.substr(part.size());
        std::string out{static_cast<char>(d.letter - 32), ':'};
        for (char c : rest) out.push_back(c == '/' ? '\\' : c);
        if (out.size() == 2) out.push_back('\\');
        return out;
      }
    }
    if (part == "/") break;
    auto slash = part.rfind('/');
    part = slash == 0 ? "/" : part.substr(0, slash);
  }
  std::string out = "Z:";
  for (char c : clean) out.push_back(c == '/' ? '\\' : c);
  return out;
}

void Machine::CheckNoServer() const {
  for (const std::string& lock : ServerLockFiles(prefix_, *options_.tempDirectory)) {
    bool ours = std::any_of(serverLocks_.begin(), serverLocks_.end(), [&](const HeldLock& h) { return h.file == lock; });
    if (!ours && LockHolder(lock) != 0) throw WineRunning(prefix_);
  }
  if (std::optional<std::string> folder = ServerFolderName(prefix_); folder && ServerProcessRuns(*folder))
    throw WineRunning(prefix_);
}

void Machine::CheckNoServerSinceFlush() {
  // Scanning /proc takes about a millisecond, and one handler may change the
  // attributes of hundreds of files (the startup save, one per shortcut).
  // Within a handler a scan made moments before serves: a wineserver keeps
  // the registry in memory, not attributes, so one that starts in between
  // overwrites none of them; and the flush that ends the handler scans
  // afresh before it replaces any file.
  if (noServerSinceFlush_) return;
  CheckNoServer();
  noServerSinceFlush_ = true;
}

ChangeTarget Machine::Target(const std::string& hostPath) const {
  const std::string path = FollowLastLinks(hostPath);
  const auto slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::optional<std::string> folder =
      RealPath(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
  if (!folder) throw std::system_error(errno, std::generic_category(), path);
  ChangeTarget target{(*folder == "/" ? "" : *folder) + "/" + base, false};
  // A drive whose root folder lies outside the prefix is the user's own set-up
  // (z: is "/"): there a change stays inside that root folder.
  std::string bound = realPrefix_;
  const std::string drives = prefix_ + "/dosdevices/";
  const size_t rootEnd = drives.size() + 2;
  if (hostPath.starts_with(drives) && hostPath.size() >= rootEnd && hostPath[rootEnd - 1] == ':' &&
      (hostPath.size() == rootEnd || hostPath[rootEnd] == '/')) {
    const std::optional<std::string> root = RealPath(hostPath.substr(0, rootEnd));
    if (root && !Inside(*root, realPrefix_)) bound = *root;
  }
  target.allowed = Inside(target.path, bound);
  return target;
}

void Machine::RemoveLeftovers() const {
  std::vector<std::string> files = {prefix_ + "/system.reg", prefix_ + "/user.reg"};
  for (const char* name : kProfileFiles) files.push_back(HostPath(name));
  for (const std::string& file : files) {
    ChangeTarget target;
    try {
      target = Target(file);
    } catch (const std::system_error&) {
      continue;  // no folder, no leftovers
    }
    // Only in folders of the prefix itself: elsewhere the files are not ours to judge.
    if (!Inside(target.path, realPrefix_)) continue;
    const auto slash = target.path.rfind('/');
    const std::string folder = target.path.substr(0, slash), base = target.path.substr(slash + 1);
    DIR* d = ::opendir(folder.c_str());
    if (!d) continue;
    std::vector<std::string> leftovers;
    while (const dirent* e = ::readdir(d)) {
      struct stat st {};
      const std::string path = folder + "/" + e->d_name;
      if (IsLeftoverOf(e->d_name, base) && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        leftovers.push_back(path);
    }
    ::closedir(d);
    for (const std::string& path : leftovers) ::unlink(path.c_str());
  }
}

const std::optional<std::string>& Machine::ReadProfile(const std::string& hostPath) {
  auto it = profiles_.find(hostPath);
  if (it == profiles_.end()) it = profiles_.emplace(hostPath, ProfileFile{ReadWholeFile(hostPath), {}, {}}).first;
  return it->second.written ? it->second.written : it->second.onDisk;
}

void Machine::WriteProfile(const std::string& hostPath, const std::string& fileName, std::string bytes) {
  const std::optional<std::string>& now = ReadProfile(hostPath);
  if (now && *now == bytes) return;
  ProfileFile& file = profiles_[hostPath];
  ++profileRevision_;
  file.name = fileName;
  // Written back to what the disk holds: nothing left to write.
  if (file.onDisk && *file.onDisk == bytes) file.written.reset();
  else file.written = std::move(bytes);
}

uint64_t Machine::Revision() const { return system_->revision() + user_->revision() + profileRevision_; }

struct Machine::PendingFile {
  std::string hostPath;
  std::string bytes;
  Hive* hive = nullptr;            // the hive written, or
  ProfileFile* profile = nullptr;  // the profile file written
};

void Machine::Flush(FlushMode mode) {
  // Files read in this handler are read again in the next: someone may change
  // them meanwhile; so may a wineserver start.
  auto forgetRead = [this] {
    std::erase_if(profiles_, [](const auto& entry) { return !entry.second.written; });
    noServerSinceFlush_ = false;
  };
  const bool pending = system_->dirty() || user_->dirty() ||
                       std::any_of(profiles_.begin(), profiles_.end(), [](const auto& e) { return e.second.written; });
  if (!pending) failedAt_.reset();
  // A failure is told once: the next change, or the next OK, tries again.
  if (!pending || (mode == FlushMode::Changes && failedAt_ == Revision())) return forgetRead();

  std::vector<PendingFile> files;
  for (auto [hive, name] : {std::pair{system_.get(), "system.reg"}, std::pair{user_.get(), "user.reg"}})
    if (hive->dirty()) files.push_back({prefix_ + "/" + name, hive->Write(), hive, nullptr});
  for (auto& [path, file] : profiles_)
    if (file.written) files.push_back({path, *file.written, nullptr, &file});
  try {
    WriteAll(files);
  } catch (...) {
    failedAt_ = Revision();
    forgetRead();
    throw;
  }
  failedAt_.reset();
  forgetRead();
}

void Machine::WriteAll(std::vector<PendingFile>& files) {
  CheckNoServer();
  auto failure = [](const PendingFile& file, const std::string& reason) {
    return EStoreError(file.profile ? Format("Unable to write to %s", file.profile->name)
                                    : "Не удалось записать файл реестра «" + file.hostPath + "»: " + reason + ".");
  };
  // Every new file whole on the disk before the first rename: a failure up to
  // here changes no file, and a crash from here on leaves each file old or new.
  std::vector<std::unique_ptr<PendingReplace>> ready;
  for (const PendingFile& file : files) {
    try {
      const ChangeTarget target = Target(file.hostPath);
      if (!target.allowed) throw failure(file, "это ссылка за пределы префикса, на «" + target.path + "»");
      ready.push_back(std::make_unique<PendingReplace>(target.path, file.bytes, *fs_));
    } catch (const std::system_error& e) {
      throw failure(file, FailureReason(e.code().value(), true));
    }
  }
  size_t done = 0;
  auto syncFolders = [&] {
    std::vector<std::string> folders;
    for (size_t i = 0; i < done; ++i)
      if (std::find(folders.begin(), folders.end(), ready[i]->folder()) == folders.end())
        folders.push_back(ready[i]->folder());
    for (const std::string& folder : folders) SyncFolder(folder);
  };
  for (; done < files.size(); ++done) {
    try {
      ready[done]->Commit();
    } catch (const std::system_error& e) {
      syncFolders();
      throw failure(files[done], FailureReason(e.code().value(), true));
    }
    PendingFile& file = files[done];
    if (file.hive) file.hive->markClean();
    if (file.profile) {
      file.profile->onDisk = std::move(file.profile->written);
      file.profile->written.reset();
    }
  }
  syncFolders();
}

}  // namespace frambul::store
