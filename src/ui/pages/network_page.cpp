#include "pages/network_page.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "program.h"
#include "tuning/tcpip.h"
#include "ui_TMainFrm.h"

namespace frambul::ui {

TNetworkPage::TNetworkPage(PageContext& context) : TPage(context) {
  Ui::TMainFrm& ui = context_.ui;
  // Only the user's pick marks the list; the program sets it quietly.
  connect(ui.TTLCbx, &QComboBox::activated, this,
          [this](int index) { context_.run([=, this] { tuning::TTLCbxChange(context_.form, index); }); });
  connect(ui.BitBtn1, &QPushButton::clicked, this,
          [this] { context_.run([this] { tuning::BitBtn1Click(context_.form); }); });
  ui.Label6->installEventFilter(this);
}

void TNetworkPage::Label6Click() {
  if (tuning::Label6Click(context_.form)) return;
  // A word to the user, not an error: the program goes on as before.
  QMessageBox box(QMessageBox::NoIcon, kTitle, QString::fromUtf8(tuning::kBadMtu), QMessageBox::Ok, &context_.window);
  box.exec();
}

bool TNetworkPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == context_.ui.Label6 && IsClick(context_.ui.Label6, event)) context_.run([this] { Label6Click(); });
  return TPage::eventFilter(watched, event);
}

}  // namespace frambul::ui
