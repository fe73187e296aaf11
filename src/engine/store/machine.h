#pragma once
// The Windows machine the program edits: a Wine prefix, read once and written
// back in Wine's own formats.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "errors.h"
#include "hive.h"

namespace frambul::store {

enum class RootKey { LocalMachine, CurrentUser };  // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER

// A key inside one of the machine's hives.
struct KeyRef {
  Hive* hive = nullptr;
  RegKey* key = nullptr;
  explicit operator bool() const { return key != nullptr; }
};

// Why a machine cannot be opened or written.
class EMachineError : public EStoreError {
 public:
  enum class Kind { NotAPrefix, WineRunning, AlreadyOpen, Unreadable };
  EMachineError(Kind kind, const std::string& message) : EStoreError(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// How Flush treats writes that failed before.
enum class FlushMode {
  // After every event handler: writes what changed; after a failed write,
  // while nothing new changed in memory, neither tries again nor throws again.
  Changes,
  // OK: tries every pending write again.
  Retry,
};

// Where a write or an attribute change of a host path lands, links followed.
struct ChangeTarget {
  std::string path;      // the final file, in a folder named without links
  bool allowed = false;  // inside the prefix, or inside the root folder of a drive that lies outside it
};

struct MachineOptions {
  FileSystem* fileSystem = nullptr;       // the real system calls when null
  std::function<int64_t()> clock;         // FILETIME now; the system clock when empty
  // The TMPDIR a wineserver started by the user would see; read from the
  // environment when the machine opens unless given.
  std::optional<std::string> tempDirectory = std::nullopt;
};

class Machine {
 public:
  // The prefix every Wine tool uses: $WINEPREFIX, else ~/.wine.
  static std::string DefaultPrefix();

  // Opens the prefix: refuses a folder without system.reg, a prefix on which
  // Wine runs and one that another copy of this program holds; reads both
  // hives; removes the temporary files that replacements cut short by a
  // crash left beside the files the program writes. While it is open, no
  // wineserver can start where this machine can foresee it.
  explicit Machine(const std::string& prefix, MachineOptions options = {});
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  const std::string& prefix() const { return prefix_; }
  Hive& hive(RootKey root) { return root == RootKey::LocalMachine ? *system_ : *user_; }
  int64_t Now() const;

  // Opens (or, with `create`, creates) the key at `path` below `base`, parts
  // separated by "\", names matched without regard to case, registry links
  // followed. Gives an empty KeyRef when it cannot.
  KeyRef OpenKey(KeyRef base, std::u16string_view path, bool create);
  KeyRef Root(RootKey root) { return {&hive(root), &hive(root).root()}; }

  // Windows path -> host path: the drive through dosdevices/, each part matched
  // without regard to case; a part that does not exist keeps its spelling. A
  // bare name means that file in the Windows directory.
  std::string HostPath(std::string_view windowsPath) const;
  // Host path -> Windows path; Z:\... for a path outside every drive.
  std::string WindowsPath(std::string_view hostPath) const;
  const std::string& WindowsDirectory() const { return windowsDirectory_; }
  unsigned AnsiCodePage() const { return ansiCodePage_; }

  // Throws EMachineError(WineRunning) when a wineserver runs on the prefix:
  // one holding the lock in one of the server folders this machine knows of,
  // or any wineserver process working in the prefix's server folder, wherever
  // its TMPDIR put that folder.
  void CheckNoServer() const;
  // The check before a change of file attributes: CheckNoServer, or the
  // last one that found no server when it ran since the last flush.
  void CheckNoServerSinceFlush();

  // Where a change of `hostPath` lands. Links are followed only while they
  // stay inside the prefix folder (for a drive whose root folder lies outside
  // the prefix, such as z: -> /, inside that root folder): `allowed` tells.
  // Throws std::system_error when the file's folder cannot be resolved.
  ChangeTarget Target(const std::string& hostPath) const;

  // A profile file's bytes as this event handler sees them: what was written
  // in memory, else the file as read from disk (once until the next flush).
  // Nothing when it does not exist; other failures throw std::system_error.
  // The reference holds until the next flush.
  const std::optional<std::string>& ReadProfile(const std::string& hostPath);
  // Keeps new bytes of a profile file in memory until the next flush.
  // `fileName` is the name the caller gave, for the error message.
  void WriteProfile(const std::string& hostPath, const std::string& fileName, std::string bytes);

  // Writes every hive and profile file that changed, after checking that Wine
  // does not run: first every new file in full beside its old one, flushed to
  // disk, then the renames, then the folders flushed. A failure before the
  // renames changes no file. Throws EMachineError when Wine runs, EStoreError
  // naming the hive and the reason, or "Unable to write to %s" with a profile
  // file's name.
  void Flush(FlushMode mode = FlushMode::Changes);

 private:
  // A profile file as read from disk, and what was written to it in memory.
  struct ProfileFile {
    std::optional<std::string> onDisk;
    std::optional<std::string> written;  // set only while it differs from onDisk
    std::string name;                    // as the caller gave it
  };
  // One file that Flush writes.
  struct PendingFile;

  std::unique_ptr<Hive> LoadHive(const std::string& file, bool required);
  void RemoveLeftovers() const;
  uint64_t Revision() const;
  void WriteAll(std::vector<PendingFile>& files);
  void HoldServerLocks();
  void ReleaseServerLocks();
  KeyRef FollowLink(KeyRef link);
  std::string ReadMachineString(std::u16string_view path, std::u16string_view name);

  std::string prefix_;
  std::string realPrefix_;  // the prefix folder, links resolved
  MachineOptions options_;  // its temporary folder always set once open (empty: /tmp)
  FileSystem defaultFs_;
  FileSystem* fs_;
  int lockFd_ = -1;
  // The locks a wineserver for this prefix would take, held while the machine
  // is open so that none can start.
  struct HeldLock {
    std::string file;
    int fd = -1;
    bool madeBaseDir = false;  // the folder of all the user's servers, removed again if empty
  };
  std::vector<HeldLock> serverLocks_;
  std::unique_ptr<Hive> system_;
  std::unique_ptr<Hive> user_;
  std::string windowsDirectory_;
  unsigned ansiCodePage_ = 1252;
  std::map<std::string, ProfileFile> profiles_;  // by host path
  uint64_t profileRevision_ = 0;
  std::optional<uint64_t> failedAt_;  // the revision whose write failed last
  bool noServerSinceFlush_ = false;   // a scan since the last flush found no wineserver
};

}  // namespace frambul::store
