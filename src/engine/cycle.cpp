#include "engine/cycle.h"

#include "engine/boot_options.h"
#include "engine/store/files.h"
#include "engine/tweaks.h"
#include "startup/sources.h"
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
  // Last it opens Win.Ini, for the save.
  startup::LoadStartupList(*registry_, machine_, form_.StartUpLvw, winIni_);
}

void LoadApplyCycle::OkBtnClick() {
  // Two startup entries stored under one value name would lose one of them:
  // then nothing at all is written, and the user renames or removes one.
  if (form_.StartUpLvw.Complete()) {
    if (std::string clash = startup::NameClash(form_.StartUpLvw); !clash.empty()) throw startup::ERefused(clash);
  }
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
  startup::SaveStartupList(*registry_, machine_, winIni_.get(), form_.StartUpLvw);
  // The registry and the profile files reach the disk before the window may
  // close: a failed write keeps the window open with the user's changes. An
  // OK tries again what an earlier one failed to write, even when it changes
  // nothing more.
  machine_.Flush(store::FlushMode::Retry);
  store::SetAttributes(machine_, kBootFile, faHidden | faSysFile);
}

void LoadApplyCycle::BitBtn2Click() {
  bootFile_.reset();
  registry_.reset();
  winIni_.reset();
  // What an OK or a removal wrote stays written, also when its files could
  // not be written then: Cancel tries them once more, while the boot file is
  // still writable; then, whatever came of that, the file is protected again.
  const auto protectBootFile = [this] {
    store::SetAttributes(machine_, kBootFile, faReadOnly | faHidden | faSysFile);
  };
  try {
    machine_.Flush(store::FlushMode::Retry);
  } catch (...) {
    protectBootFile();
    throw;
  }
  protectBootFile();
}

}  // namespace frambul::engine
