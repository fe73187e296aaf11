#pragma once
// The Windows machine the program edits: a Wine prefix, read once and written
// back in Wine's own formats.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

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

struct MachineOptions {
  FileSystem* fileSystem = nullptr;       // the real system calls when null
  std::function<int64_t()> clock;         // FILETIME now; the system clock when empty
};

class Machine {
 public:
  // The prefix every Wine tool uses: $WINEPREFIX, else ~/.wine.
  static std::string DefaultPrefix();

  // Opens the prefix: refuses a folder without system.reg, a prefix on which
  // Wine runs and one that another copy of this program holds; reads both
  // hives. While it is open, no wineserver can start on the prefix.
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

  // Throws EMachineError(WineRunning) when a wineserver holds the prefix
  // (one started where this machine could not hold it, e.g. with another TMPDIR).
  void CheckNoServer() const;
  // Atomically replaces a file of the machine, after checking that Wine does
  // not run. Throws std::system_error, or EMachineError when Wine runs.
  void WriteFile(const std::string& hostPath, std::string_view bytes);
  // Writes every hive that changed. Throws EStoreError "Unable to write to %s",
  // or EMachineError when Wine runs on the prefix.
  void Flush();

 private:
  std::unique_ptr<Hive> LoadHive(const std::string& file, bool required);
  void HoldServerLocks();
  void ReleaseServerLocks();
  KeyRef FollowLink(KeyRef link);
  std::string ReadMachineString(std::u16string_view path, std::u16string_view name);

  std::string prefix_;
  MachineOptions options_;
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
};

}  // namespace frambul::store
