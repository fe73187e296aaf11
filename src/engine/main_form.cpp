#include "engine/main_form.h"

namespace frambul::engine {
namespace {

bool AnyMarked(const MainForm& form, Group group) {
  bool marked = false;
  ForEachSettingsControl(form, [&](const char*, Group in, const auto& control) {
    if (in == group && control.Tag == 1) marked = true;
  });
  return marked;
}

}  // namespace

bool TweaksChanged(const MainForm& form) { return AnyMarked(form, Group::Tweaks); }

bool BootChanged(const MainForm& form) { return AnyMarked(form, Group::Boot); }

}  // namespace frambul::engine
