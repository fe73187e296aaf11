#include "pages/network_page.h"

#include <QComboBox>

#include "ui_TMainFrm.h"

namespace frambul::ui {

TNetworkPage::TNetworkPage(PageContext& context) : TPage(context) {
  // Only the user's pick marks the list; the program sets it quietly.
  connect(context_.ui.TTLCbx, &QComboBox::activated, this, [this](int index) {
    context_.run([=, this] {
      context_.form.TTLCbx.ItemIndex = index;
      context_.form.TTLCbx.Tag = 1;
    });
  });
}

}  // namespace frambul::ui
