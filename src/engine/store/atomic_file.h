#pragma once
// Reading and atomically replacing the files of the machine.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace frambul::store {

// The system calls through which file contents reach the disk. The machine
// uses the real ones; tests put in a writer that fails half-way or a rename
// that never happens, to prove the old file survives.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual ssize_t Write(int fd, const void* data, size_t size);
  virtual int Fsync(int fd);
  virtual int Rename(const char* from, const char* to);
};

// The whole file, or nothing when it does not exist. Other failures throw
// std::system_error.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Gives the file to `take` piece by piece as it is read, so that it need not
// be in memory whole; false when it does not exist. Other failures throw
// std::system_error.
bool ReadFilePieces(const std::string& path, const std::function<void(std::string_view)>& take);

// The replacement (or creation) of the file at `path` (the file itself, not a
// link to it), in two steps, so that several files can be made ready before
// the first of them changes. The constructor writes `bytes` in full to a
// temporary file ".NAME.new-XXXXXX" in the same folder, carries over the old
// file's permissions, owner and extended attributes and flushes it to disk;
// Commit renames it over the old file. Until then the old file is untouched,
// and a replacement dropped uncommitted removes its temporary file. Both steps
// throw std::system_error. A file without write permission (the read-only
// attribute) is not replaced (EACCES).
class PendingReplace {
 public:
  PendingReplace(const std::string& path, std::string_view bytes, FileSystem& fs);
  ~PendingReplace();
  PendingReplace(const PendingReplace&) = delete;
  PendingReplace& operator=(const PendingReplace&) = delete;

  void Commit();
  // The folder to flush once the renames are done.
  const std::string& folder() const { return dir_; }

 private:
  // Owner, permissions and extended attributes of the old file, the bytes, the flush.
  void Fill(int fd, const struct stat* old, std::string_view bytes);

  std::string path_;
  std::string dir_;
  std::string tmp_;
  FileSystem& fs_;
  bool committed_ = false;
};

// Flushes a folder to disk: a rename in it is durable only then.
void SyncFolder(const std::string& dir);

// Whether `name` is a temporary file that a replacement of `base` in the same
// folder leaves behind when it is cut short: ".<base>.new-" and six letters or
// digits, `base` matched without regard to case.
bool IsLeftoverOf(std::string_view name, std::string_view base);

}  // namespace frambul::store
