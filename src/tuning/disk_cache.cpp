#include "tuning/disk_cache.h"

#include <algorithm>
#include <cstdint>

#include "engine/store/inifile.h"
#include "engine/store/integer.h"

namespace frambul::tuning {
namespace {

using engine::MainForm;
using engine::TrackBar;

constexpr const char* kSection = "VCache";
constexpr int kStepKb = 512;

// The slider's position for a stored size: truncated to the step below, so a
// negative size is automatic, and clamped to the slider.
int PositionOf(const TrackBar& slider, int32_t kilobytes) {
  return std::clamp<int32_t>(kilobytes / kStepKb, slider.Min, slider.Max);
}

// The hint and the label of a slider's position.
void ShowSize(const MainForm& form, TrackBar& slider, engine::Label& label) {
  slider.Hint = std::to_string(slider.Position * kStepKb);
  label.Caption = slider.Position == 0 ? "Авто" : MegabyteText(slider.Position, form.DecimalSeparator) + " M";
}

void LoadLimit(store::TIniFile& file, const char* key, MainForm& form, TrackBar& slider, void (*change)(MainForm&)) {
  int32_t kilobytes = store::StrToInt(file.ReadText(kSection, key, "0"));
  SetCachePosition(form, slider, PositionOf(slider, kilobytes));
  // Run even where the position did not move, so that hint and label are set.
  change(form);
  slider.Loaded = true;
}

void ApplyLimit(store::TIniFile& file, const char* key, const TrackBar& slider) {
  if (!slider.Loaded) return;
  if (slider.Position != 0) {
    file.WriteText(kSection, key, std::to_string(slider.Position * kStepKb));
  } else {
    file.RemoveKey(kSection, key);
  }
}

}  // namespace

std::string MegabyteText(int position, std::string_view separator) {
  // Below 10 MB the two digits show every half megabyte; from there on the
  // digit after the whole megabytes is dropped, a dropped 5 rounding up.
  const std::string whole = std::to_string(position < 20 ? position / 2 : (position + 1) / 2);
  const char* tenth = position < 20 && position % 2 == 1 ? "5" : "0";
  return whole + std::string(separator) + tenth;
}

void SetCachePosition(MainForm& form, TrackBar& slider, int position) {
  position = std::clamp(position, slider.Min, slider.Max);
  if (position == slider.Position) return;
  slider.Position = position;
  if (&slider == &form.MinCacheTrk) MinCacheTrkChange(form);
  if (&slider == &form.MaxCacheTrk) MaxCacheTrkChange(form);
}

void MinCacheTrkChange(MainForm& form) {
  ShowSize(form, form.MinCacheTrk, form.MinLbl);
  if (form.MaxCacheTrk.Position < form.MinCacheTrk.Position) {
    SetCachePosition(form, form.MaxCacheTrk, form.MinCacheTrk.Position);
  }
}

void MaxCacheTrkChange(MainForm& form) {
  ShowSize(form, form.MaxCacheTrk, form.MaxLbl);
  if (form.MinCacheTrk.Position > form.MaxCacheTrk.Position) {
    SetCachePosition(form, form.MinCacheTrk, form.MaxCacheTrk.Position);
  }
}

void MinCacheTrkEnter(MainForm& form) { form.MinCacheTrk.Tag = 1; }

void MaxCacheTrkEnter(MainForm& form) { form.MaxCacheTrk.Tag = 1; }

void Label12Click(MainForm& form) {
  SetCachePosition(form, form.MinCacheTrk, 0);
  SetCachePosition(form, form.MaxCacheTrk, 0);
}

void LoadDiskCache(store::Machine& machine, MainForm& form) {
  store::TIniFile file(machine, "System.Ini");
  LoadLimit(file, "MinFileCache", form, form.MinCacheTrk, MinCacheTrkChange);
  LoadLimit(file, "MaxFileCache", form, form.MaxCacheTrk, MaxCacheTrkChange);
}

void ApplyDiskCache(store::Machine& machine, const MainForm& form) {
  store::TIniFile file(machine, "System.Ini");
  ApplyLimit(file, "MinFileCache", form.MinCacheTrk);
  ApplyLimit(file, "MaxFileCache", form.MaxCacheTrk);
}

}  // namespace frambul::tuning
