#pragma once
// The disk cache limits of the Useful page: `MinFileCache` and `MaxFileCache`
// of section `VCache` in "System.Ini", in kilobytes, each set with a slider
// in steps of 512 KB from 0 (automatic: no key) to 32 MB. The minimum is
// never above the maximum.

#include <string>
#include <string_view>

#include "engine/main_form.h"
#include "engine/store/machine.h"

namespace frambul::tuning {

// Reads both limits; text that is no number throws and ends the load.
void LoadDiskCache(store::Machine& machine, engine::MainForm& form);

// Writes both limits of the loaded sliders; automatic removes the key.
void ApplyDiskCache(store::Machine& machine, const engine::MainForm& form);

// Moves a cache slider, by the user or the program, clamped to its range; its
// change event runs when the position differs.
void SetCachePosition(engine::MainForm& form, engine::TrackBar& slider, int position);

// The change events: the hint and the label follow the position, and the
// other slider follows so that the minimum stays at or below the maximum.
void MinCacheTrkChange(engine::MainForm& form);
void MaxCacheTrkChange(engine::MainForm& form);

// Entering a slider marks it, before it moves.
void MinCacheTrkEnter(engine::MainForm& form);
void MaxCacheTrkEnter(engine::MainForm& form);

// "Авто": both sliders to automatic, no mark.
void Label12Click(engine::MainForm& form);

// The size of slider position 1 to 64 in megabytes, with one decimal digit and
// at most two significant ones: "0,5" ... "9,5", "10,0", then whole megabytes,
// an odd position rounded up ("11,0" for 21 and 22).
std::string MegabyteText(int position, std::string_view separator);

}  // namespace frambul::tuning
