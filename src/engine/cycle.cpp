#include "engine/cycle.h"

#include "engine/boot_options.h"
#include "engine/store/files.h"
#include "engine/tweaks.h"
#include "tuning/disk_cache.h"
#include "tuning/tcpip.h"
#include "uninstall/uninstall_list.h"

namespace frambul::engine {

using store::faArchive;
using store::faHidden;
using store::faReadOnly;
using store::faSysFile;

LoadApplyCycle::LoadApplyCycle(store::Machine& machine, MainForm& form) : machine_(machine), form_(form) {}

LoadApplyCycle::~LoadApplyCycle() = default;

void LoadApplyCycle::FormCreate() {
  // The file stays writable and visible for as long as the window is open.
  store::SetAttributes(machine_, kBootFile, faArchive | faSysFile);
  bootFile_ = std::make_unique<store::TIniFile>(machine_, kBootFile);
  registry_ = std::make_unique<store::TRegistry>(machine_);
  CleanUpLeftovers(*registry_);
  LoadTweaks(*registry_, form_);
  tuning::LoadDiskCache(machine_, form_);
  tuning::LoadTcpIp(*registry_, form_);
  uninstall::LoadUninstallList(*registry_, form_);
  LoadBootOptions(*bootFile_, form_);
  // The startup list loads here, and last opens Win.Ini for its save.
  winIni_ = std::make_unique<store::TIniFile>(machine_, "Win.Ini");
}

void LoadApplyCycle::OkBtnClick() {
  if (BootChanged(form_)) {
    // After a failed apply the accessor is gone; the file is opened again so
    // that the boot changes are not lost.
    if (!bootFile_) bootFile_ = std::make_unique<store::TIniFile>(machine_, kBootFile);
    ApplyBootOptions(*bootFile_, form_);
  }
  bootFile_.reset();
  if (!registry_) registry_ = std::make_unique<store::TRegistry>(machine_);
  if (TweaksChanged(form_)) {
    ApplyTweaks(*registry_, form_);
    tuning::ApplyDiskCache(machine_, form_);
    tuning::ApplyTcpIp(*registry_, form_);
  }
  // The startup list is saved here.
  // The registry reaches the disk before the window may close: a failed
  // write keeps the window open with the user's changes.
  machine_.Flush();
  store::SetAttributes(machine_, kBootFile, faHidden | faSysFile);
}

void LoadApplyCycle::BitBtn2Click() {
  bootFile_.reset();
  store::SetAttributes(machine_, kBootFile, faReadOnly | faHidden | faSysFile);
  registry_.reset();
  winIni_.reset();
}

}  // namespace frambul::engine
