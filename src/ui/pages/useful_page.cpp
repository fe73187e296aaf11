#include "pages/useful_page.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "engine/tweaks.h"
#include "ui_TMainFrm.h"

namespace frambul::ui {

TUsefulPage::TUsefulPage(PageContext& context) : TPage(context) {
  Ui::TMainFrm& ui = context_.ui;
  connect(ui.BitBtn6, &QPushButton::clicked, this, [this] { context_.run([this] { BitBtn6Click(); }); });
  connect(ui.MinCacheTrk, &QSlider::valueChanged, this,
          [this](int position) { context_.run([=, this] { context_.form.MinCacheTrk.Position = position; }); });
  connect(ui.MaxCacheTrk, &QSlider::valueChanged, this,
          [this](int position) { context_.run([=, this] { context_.form.MaxCacheTrk.Position = position; }); });
  ui.MinCacheTrk->installEventFilter(this);
  ui.MaxCacheTrk->installEventFilter(this);
}

void TUsefulPage::Show() {
  context_.ui.MinLbl->setText(QString::fromStdString(context_.form.MinLbl.Caption));
  context_.ui.MaxLbl->setText(QString::fromStdString(context_.form.MaxLbl.Caption));
}

void TUsefulPage::BitBtn6Click() {
  const QString chosen = context_.chooseProgram();
  if (chosen.isEmpty()) return;
  // The machine knows the file by its Windows path.
  engine::DefaultViewerChosen(context_.form, context_.machine.WindowsPath(chosen.toStdString()));
}

bool TUsefulPage::eventFilter(QObject* watched, QEvent* event) {
  // Entering a cache slider marks it, before it moves.
  if (event->type() == QEvent::FocusIn) {
    if (watched == context_.ui.MinCacheTrk) context_.run([this] { context_.form.MinCacheTrk.Tag = 1; });
    if (watched == context_.ui.MaxCacheTrk) context_.run([this] { context_.form.MaxCacheTrk.Tag = 1; });
  }
  return TPage::eventFilter(watched, event);
}

}  // namespace frambul::ui
