#pragma once
// Reading and atomically replacing the files of the machine.

#include <optional>
#include <string>
#include <string_view>
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

// Replaces (or creates) the file at `path` with `bytes`: written in full to a
// temporary file in the same folder, the old file's permissions, owner and
// extended attributes carried over, flushed to disk, renamed over the old file,
// and the folder flushed. On any failure the temporary file is removed, the old
// file is untouched and std::system_error is thrown. A file without write
// permission (the read-only attribute) is not replaced (EACCES).
void ReplaceFile(const std::string& path, std::string_view bytes, FileSystem& fs);

}  // namespace frambul::store
