#include "pages/misc_page.h"

#include <QSlider>

#include "engine/tweaks.h"
#include "ui_TMainFrm.h"

namespace frambul::ui {

TMiscPage::TMiscPage(PageContext& context) : TPage(context) {
  connect(context_.ui.MenuShowDelayTrk, &QSlider::valueChanged, this, [this](int position) {
    context_.run([=, this] { engine::MenuShowDelayTrkChange(context_.form, position); });
  });
}

}  // namespace frambul::ui
