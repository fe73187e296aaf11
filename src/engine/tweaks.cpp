#include "engine/tweaks.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "engine/steps.h"
#include "engine/store/errors.h"
#include "engine/store/integer.h"
#include "engine/store/text.h"

namespace frambul::engine {
namespace {

using store::RootKey;
using store::TRegistry;

constexpr std::string_view kLnkFile = "\\SOFTWARE\\Classes\\lnkfile";
constexpr std::string_view kPifFile = "\\SOFTWARE\\Classes\\piffile";
constexpr std::string_view kFileSystem = "\\System\\CurrentControlSet\\control\\FileSystem";
constexpr std::string_view kNetworkPolicy = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";
constexpr std::string_view kLogitech = "\\SOFTWARE\\Logitech";
constexpr std::string_view kMouseSerial = "\\SOFTWARE\\Logitech\\MouseWare\\CurrentVersion\\SerialV\\0000";
constexpr std::string_view kRecycleBin = "\\SOFTWARE\\Classes\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}";
constexpr std::string_view kBitmapIcon = "\\SOFTWARE\\Classes\\Paint.Picture\\DefaultIcon";
constexpr std::string_view kBitmapOpen = "\\Software\\Classes\\Paint.Picture\\shell\\open\\command";
constexpr std::string_view kDesktop = "\\Control Panel\\desktop";
constexpr std::string_view kSetup = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
constexpr std::string_view kAllShell = "\\Software\\Classes\\*\\Shell";
constexpr std::string_view kViewerVerb = "\\Software\\Classes\\*\\Shell\\1DE";
constexpr std::string_view kViewerCommand = "\\Software\\Classes\\*\\Shell\\1DE\\Command";

// Removes `path` when it holds no values and no subkeys; false when it stays.
bool RemoveIfEmpty(TRegistry& registry, std::string_view path) {
  store::TRegKeyInfo info;
  if (!registry.OpenPath(path, false) || !registry.QueryKeyCounts(info)) return false;
  if (info.NumValues != 0 || info.NumSubKeys != 0) return false;
  return registry.RemoveKey(path);
}

void ApplyShortcutArrows(TRegistry& registry, const CheckBox& box) {
  if (!box.Loaded) return;
  for (std::string_view key : {kLnkFile, kPifFile}) {
    OpenOrCreate(registry, key);
    if (box.Enabled && box.Checked) {
      registry.WriteText("IsShortcut", "");
    } else {
      registry.RemoveValue("IsShortcut");
    }
  }
}

void ApplyBitmapThumbnails(TRegistry& registry, const CheckBox& box) {
  OpenOrCreate(registry, kBitmapIcon);
  if (box.Checked) {
    registry.WriteText("", "%1");
    return;
  }
  OpenOrCreate(registry, kBitmapOpen);
  std::string command = registry.ReadText("");
  OpenOrCreate(registry, kBitmapIcon);
  if (command.empty()) {
    // No program to take an icon from: drop the thumbnail setting, so the
    // shell shows its generic icon, rather than store a meaningless ",1".
    registry.RemoveValue("");
  } else {
    registry.WriteText("", BitmapIconFromCommand(command));
  }
}

}  // namespace

std::string BitmapIconFromCommand(const std::string& command) {
  std::u16string text = store::ToUtf16(command);
  size_t start = !text.empty() && text[0] == u'"' ? 2 : 1;
  std::u16string upper = text;
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  size_t found = upper.find(u".EXE");
  size_t position = found == std::u16string::npos ? 0 : found + 1;
  // Positions count from 1: take p - start + 4 characters from the start.
  size_t count = position + 4 - start;
  std::u16string path = start - 1 < text.size() ? text.substr(start - 1, count) : std::u16string();
  return store::ToUtf8(path) + ",1";
}

void MenuShowDelayTrkChange(MainForm& form, int position) {
  form.MenuShowDelayTrk.Position = position;
  form.MenuShowDelayTrk.Tag = 1;
}

void DefaultViewerChosen(MainForm& form, const std::string& windowsPath) {
  form.DefViewerEdt.Text = windowsPath + " \"%1\"";
  form.DefViewerEdt.Tag = 1;
}

void CleanUpLeftovers(TRegistry& registry) {
  registry.SetCurrentRoot(RootKey::LocalMachine);
  if (registry.OpenPath(kBitmapIcon, false)) registry.RemoveValue("BackUp");
  if (registry.OpenPath(kFileSystem, false)) {
    registry.RemoveValue("NameNumericTrail");
    try {
      registry.ReadDword("NameNumericTail");
      registry.RemoveValue("NameNumericTail");
    } catch (const store::EStoreError&) {
      // Not a DWORD (or absent): the binary form stays.
    }
  }
  store::TRegKeyInfo info;
  if (registry.OpenPath(kMouseSerial, false) && registry.QueryKeyCounts(info) && info.NumValues <= 1) {
    // Only the leftover key goes, and each parent up to the maker's key that
    // it leaves empty: other programs may keep settings beside it.
    registry.RemoveKey(kMouseSerial);
    std::string_view parent = kMouseSerial;
    while (parent.size() > kLogitech.size()) {
      parent = parent.substr(0, parent.rfind('\\'));
      if (!RemoveIfEmpty(registry, parent)) break;
    }
  }
}

void LoadTweaks(TRegistry& registry, MainForm& form) {
  registry.SetCurrentRoot(RootKey::LocalMachine);
  CheckBox& arrows = form.ShortCutChk;
  LoadFrom(registry, kLnkFile, false, arrows, [&] { arrows.Checked = registry.HasValue("IsShortcut"); });

  CheckBox& tails = form.TailNumChk;
  LoadFrom(registry, kFileSystem, false, tails, [&] {
    try {
      unsigned char data[2] = {0, 0};
      registry.ReadBytes("NameNumericTail", data, 2);
      tails.Checked = !registry.HasValue("NameNumericTail") || data[0] != 0 || data[1] != 0;
    } catch (const store::EStoreError&) {
      tails.Enabled = false;  // a string, a DWORD or more than two bytes
    }
  });

  CheckBox& passwords = form.PasswChk;
  LoadFrom(registry, kNetworkPolicy, false, passwords,
           [&] { Guarded([&] { passwords.Checked = registry.ReadDword("DisablePwdCaching") == 1; }); });

  CheckBox& middle = form.DblClckChk;
  LoadFrom(registry, kMouseSerial, false, middle, [&] {
    Guarded([&] {
      middle.Checked = registry.ReadText("DoubleClick") == "001" || registry.ReadText("DoubleClick") == "0010";
    });
  });

  Edit& recycleBin = form.RecycleEdt;
  LoadFrom(registry, kRecycleBin, false, recycleBin, [&] { recycleBin.Text = registry.ReadText(""); });

  CheckBox& thumbnails = form.BMPChk;
  LoadFrom(registry, kBitmapIcon, false, thumbnails, [&] { thumbnails.Checked = registry.ReadText("") == "%1"; });

  registry.SetCurrentRoot(RootKey::CurrentUser);
  TrackBar& delay = form.MenuShowDelayTrk;
  LoadFrom(registry, kDesktop, true, delay, [&] {
    Guarded([&] {
      int32_t value = store::StrToInt(registry.ReadText("MenuShowDelay"));
      // Moving the bar marks it as a change would; the load's own move is no change.
      delay.Position = std::clamp<int32_t>(value, delay.Min, delay.Max);
      delay.Tag = 0;
    });
  });

  registry.SetCurrentRoot(RootKey::LocalMachine);
  Edit& install = form.WinInstEdt;
  LoadFrom(registry, kSetup, false, install, [&] { Guarded([&] { install.Text = registry.ReadText("SourcePath"); }); });

  // The viewer's edit is never disabled; a missing verb shows empty.
  Edit& viewer = form.DefViewerEdt;
  if (registry.OpenPath(kAllShell, false) && registry.OpenPath("1DE", false) && registry.OpenPath("Command", true)) {
    viewer.Text = registry.ReadText("");
  }
  viewer.Loaded = true;
}

void ApplyTweaks(TRegistry& registry, const MainForm& form) {
  registry.SetCurrentRoot(RootKey::LocalMachine);
  ApplyShortcutArrows(registry, form.ShortCutChk);

  if (const CheckBox& box = form.TailNumChk; box.Loaded && box.Enabled) {
    OpenOrCreate(registry, kFileSystem);
    if (box.Checked) {
      registry.RemoveValue("NameNumericTail");
    } else {
      const unsigned char zero[2] = {0, 0};
      registry.WriteBytes("NameNumericTail", zero, 2);
    }
  }
  if (const CheckBox& box = form.PasswChk; box.Loaded && box.Enabled) {
    OpenOrCreate(registry, kNetworkPolicy);
    if (box.Checked) {
      registry.WriteNumber("DisablePwdCaching", 1);
    } else {
      registry.RemoveValue("DisablePwdCaching");
    }
  }
  if (const CheckBox& box = form.DblClckChk; box.Loaded && box.Enabled) {
    OpenOrCreate(registry, kMouseSerial);
    registry.WriteText("DoubleClick", box.Checked ? "001" : "000");
  }
  if (const Edit& edit = form.RecycleEdt; edit.Loaded && edit.Enabled) {
    OpenOrCreate(registry, kRecycleBin);
    registry.WriteText("", edit.Text);
  }
  if (const CheckBox& box = form.BMPChk; box.Loaded && box.Enabled) ApplyBitmapThumbnails(registry, box);

  registry.SetCurrentRoot(RootKey::CurrentUser);
  if (const TrackBar& bar = form.MenuShowDelayTrk; bar.Loaded && bar.Enabled) {
    OpenOrCreate(registry, kDesktop);
    registry.WriteText("MenuShowDelay", std::to_string(bar.Position));
  }

  registry.SetCurrentRoot(RootKey::LocalMachine);
  if (const Edit& edit = form.WinInstEdt; edit.Loaded) {
    OpenOrCreate(registry, kSetup);
    registry.WriteText("SourcePath", edit.Text);
  }
  if (const Edit& edit = form.DefViewerEdt; edit.Loaded) {
    if (edit.Text.empty()) {
      registry.RemoveKey(kViewerVerb);
    } else {
      OpenOrCreate(registry, kViewerVerb);
      registry.WriteText("", "Просмотр");
      OpenOrCreate(registry, kViewerCommand);
      registry.WriteText("", edit.Text);
    }
  }
}

}  // namespace frambul::engine
