#include "pages/boot_page.h"

#include <QCheckBox>

#include "engine/boot_options.h"
#include "ui_TMainFrm.h"

namespace frambul::ui {

TBootPage::TBootPage(PageContext& context) : TPage(context) {
  // Connected after the window's own binding, so the box's new state is known.
  connect(context_.ui.BootMultiChk, &QCheckBox::toggled, this,
          [this] { context_.run([this] { engine::BootMultiChkClick(context_.form); }); });
}

}  // namespace frambul::ui
