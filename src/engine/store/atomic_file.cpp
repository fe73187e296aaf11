#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

#include "text.h"

namespace frambul::store {

ssize_t FileSystem::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
int FileSystem::Fsync(int fd) { return ::fsync(fd); }
int FileSystem::Rename(const char* from, const char* to) { return ::rename(from, to); }

namespace {

[[noreturn]] void Fail(int err, const std::string& what) { throw std::system_error(err, std::generic_category(), what); }

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Copies every extended attribute (the DOS hidden and system bits among them).
void CopyXattrs(const std::string& from, int toFd) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<size_t>(size));
  size = ::listxattr(from.c_str(), names.data(), names.size());
  if (size <= 0) return;
  for (ssize_t i = 0; i < size;) {
    const char* name = names.data() + i;
    i += static_cast<ssize_t>(strlen(name)) + 1;
    ssize_t vsize = ::getxattr(from.c_str(), name, nullptr, 0);
    if (vsize < 0) continue;
    std::vector<char> value(static_cast<size_t>(vsize));
    vsize = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (vsize < 0) continue;
    if (::fsetxattr(toFd, name, value.data(), static_cast<size_t>(vsize), 0) != 0 && errno != ENOTSUP && errno != EPERM)
      Fail(errno, "cannot copy extended attribute " + std::string(name));
  }
}

// Opens a file to read it; -1 when it does not exist.
int OpenToRead(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return -1;
    Fail(errno, "cannot open " + path);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail(errno, "cannot read " + path);
  if (S_ISDIR(st.st_mode)) Fail(EISDIR, "cannot read " + path);
  return fd.release();
}

// Reads up to `size` bytes, as many as the file still has; 0 at its end.
size_t ReadSome(int fd, char* data, size_t size, const std::string& path) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) Fail(errno, "cannot read " + path);
  }
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  Fd fd(OpenToRead(path));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  ::fstat(fd.get(), &st);
  std::string data;
  data.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  for (;;) {
    if (got == data.size()) data.resize(data.size() + 65536);
    const size_t n = ReadSome(fd.get(), data.data() + got, data.size() - got, path);
    if (n == 0) break;
    got += n;
  }
  data.resize(got);
  return data;
}

bool ReadFilePieces(const std::string& path, const std::function<void(std::string_view)>& take) {
  Fd fd(OpenToRead(path));
  if (fd.get() < 0) return false;
  // Big enough that reading costs little beside parsing, small beside a big hive.
  constexpr size_t kPiece = 256 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
  while (const size_t n = ReadSome(fd.get(), buffer.get(), kPiece, path)) take(std::string_view(buffer.get(), n));
  return true;
}

PendingReplace::PendingReplace(const std::string& path, std::string_view bytes, FileSystem& fs)
    : path_(path), fs_(fs) {
  struct stat old {};
  bool exists = ::stat(path.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) Fail(errno, "cannot write " + path);
  if (exists && !(old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) Fail(EACCES, "read-only file " + path);

  auto slash = path.rfind('/');
  dir_ = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = dir_ + "/." + base + ".new-XXXXXX";
  Fd fd(::mkstemp(tmp.data()));
  if (fd.get() < 0) Fail(errno, "cannot create a file in " + dir_);
  tmp_ = tmp;
  try {
    Fill(fd.get(), exists ? &old : nullptr, bytes);
    if (::close(fd.release()) != 0) Fail(errno, "cannot close " + tmp_);
  } catch (...) {
    // The destructor does not run for an object whose constructor throws.
    ::unlink(tmp_.c_str());
    throw;
  }
}

void PendingReplace::Fill(int fd, const struct stat* old, std::string_view bytes) {
  if (old) {
    if (::fchown(fd, old->st_uid, old->st_gid) != 0 && errno != EPERM) Fail(errno, "cannot set owner of " + tmp_);
    if (::fchmod(fd, old->st_mode & 07777) != 0) Fail(errno, "cannot set permissions of " + tmp_);
    CopyXattrs(path_, fd);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) Fail(errno, "cannot set permissions of " + tmp_);
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = fs_.Write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "cannot write " + tmp_);
    }
    if (n == 0) Fail(EIO, "cannot write " + tmp_);
    done += static_cast<size_t>(n);
  }
  if (fs_.Fsync(fd) != 0) Fail(errno, "cannot flush " + tmp_);
}

PendingReplace::~PendingReplace() {
  if (!committed_) ::unlink(tmp_.c_str());
}

void PendingReplace::Commit() {
  if (fs_.Rename(tmp_.c_str(), path_.c_str()) != 0) Fail(errno, "cannot replace " + path_);
  committed_ = true;
}

void SyncFolder(const std::string& dir) {
  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

bool IsLeftoverOf(std::string_view name, std::string_view base) {
  constexpr std::string_view kMark = ".new-";
  constexpr size_t kRandom = 6;  // mkstemp's XXXXXX, from [A-Za-z0-9]
  if (name.size() != 1 + base.size() + kMark.size() + kRandom || name[0] != '.') return false;
  std::string_view random = name.substr(name.size() - kRandom);
  auto alnum = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
  if (!std::all_of(random.begin(), random.end(), alnum)) return false;
  return name.substr(1 + base.size(), kMark.size()) == kMark && EqualNoCase(name.substr(1, base.size()), base);
}

}  // namespace frambul::store
