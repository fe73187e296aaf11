#include "program.h"

#include "dialogs.h"
#include "main_frm.h"

namespace frambul::ui {

TMainFrm* MainFrm = nullptr;
TComFrm* ComFrm = nullptr;
TAboutFrm* AboutFrm = nullptr;
TLinksFrm* LinksFrm = nullptr;

void CreateForms(store::Machine& machine) {
  MainFrm = new TMainFrm(machine);
  ComFrm = new TComFrm();
  AboutFrm = new TAboutFrm();
  LinksFrm = new TLinksFrm();
}

void DestroyForms() {
  delete LinksFrm;
  delete AboutFrm;
  delete ComFrm;
  delete MainFrm;
  LinksFrm = nullptr;
  AboutFrm = nullptr;
  ComFrm = nullptr;
  MainFrm = nullptr;
}

}  // namespace frambul::ui
