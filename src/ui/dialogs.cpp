#include "dialogs.h"

#include <QKeyEvent>

#include "look.h"
#include "ui_TAboutFrm.h"
#include "ui_TComFrm.h"
#include "ui_TLinksFrm.h"

namespace frambul::ui {

TComFrm::TComFrm(QWidget* parent) : QDialog(parent), form_(std::make_unique<Ui::TComFrm>()) {
  form_->setupUi(this);
  DressForm(*this, {505, 104});
}

TComFrm::~TComFrm() = default;

QLineEdit* TComFrm::Edit1() const {
  return form_->Edit1;
}

void TInfoDialog::reject() {
  // Only the close box gets here: Esc is held back below.
  accept();
}

void TInfoDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

TAboutFrm::TAboutFrm(QWidget* parent) : TInfoDialog(parent), form_(std::make_unique<Ui::TAboutFrm>()) {
  form_->setupUi(this);
  DressForm(*this, {473, 257});
}

TAboutFrm::~TAboutFrm() = default;

TLinksFrm::TLinksFrm(QWidget* parent) : TInfoDialog(parent), form_(std::make_unique<Ui::TLinksFrm>()) {
  form_->setupUi(this);
  DressForm(*this, {473, 385});
}

TLinksFrm::~TLinksFrm() = default;

}  // namespace frambul::ui
