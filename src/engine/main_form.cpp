#include "engine/main_form.h"

#include <initializer_list>

namespace frambul::engine {
namespace {

bool AnyMarked(std::initializer_list<int> tags) {
  for (int tag : tags) {
    if (tag == 1) return true;
  }
  return false;
}

}  // namespace

bool TweaksChanged(const MainForm& f) {
  return AnyMarked({f.ShortCutChk.Tag, f.TailNumChk.Tag, f.PasswChk.Tag, f.DblClckChk.Tag, f.BMPChk.Tag,
                    f.RecycleEdt.Tag, f.MenuShowDelayTrk.Tag, f.WinInstEdt.Tag, f.DefViewerEdt.Tag,
                    f.MinCacheTrk.Tag, f.MaxCacheTrk.Tag, f.MTUEdt.Tag, f.RWINEdt.Tag, f.TTLCbx.Tag});
}

bool BootChanged(const MainForm& f) {
  return AnyMarked({f.LogoChk.Tag, f.NetworkChk.Tag, f.AutoScanChk.Tag, f.BootMultiChk.Tag, f.BootGUIChk.Tag,
                    f.BootWinChk.Tag, f.BootMenuChk.Tag, f.BootKeysChk.Tag, f.DblSpaceChk.Tag,
                    f.DoubleBufferChk.Tag, f.BootDelayEdt.Tag});
}

}  // namespace frambul::engine
