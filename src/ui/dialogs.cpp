#include "dialogs.h"

#include <QKeyEvent>

#include "look.h"
#include "ui_TAboutFrm.h"
#include "ui_TComFrm.h"
#include "ui_TLinksFrm.h"

namespace frambul::ui {

void TFormDialog::setVisible(bool visible) {
  // Built before Qt shows the window, so that it opens at its size and centred.
  if (visible) EnsureBuilt();
  QDialog::setVisible(visible);
}

void TFormDialog::EnsureBuilt() {
  if (built_) return;
  built_ = true;
  Build();
}

TComFrm::TComFrm(QWidget* parent) : TFormDialog(parent), form_(std::make_unique<Ui::TComFrm>()) {}

TComFrm::~TComFrm() = default;

void TComFrm::Build() {
  form_->setupUi(this);
  DressForm(*this, {505, 104});
}

QLineEdit* TComFrm::Edit1() {
  EnsureBuilt();
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

TAboutFrm::TAboutFrm(QWidget* parent) : TInfoDialog(parent), form_(std::make_unique<Ui::TAboutFrm>()) {}

TAboutFrm::~TAboutFrm() = default;

void TAboutFrm::Build() {
  form_->setupUi(this);
  DressForm(*this, {473, 257});
}

TLinksFrm::TLinksFrm(QWidget* parent) : TInfoDialog(parent), form_(std::make_unique<Ui::TLinksFrm>()) {}

TLinksFrm::~TLinksFrm() = default;

void TLinksFrm::Build() {
  form_->setupUi(this);
  DressForm(*this, {473, 385});
}

}  // namespace frambul::ui
