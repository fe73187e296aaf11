#include "pages/useful_page.h"

#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>

#include "engine/tweaks.h"
#include "tuning/disk_cache.h"
#include "ui_TMainFrm.h"

namespace frambul::ui {

TUsefulPage::TUsefulPage(PageContext& context) : TPage(context) {
  Ui::TMainFrm& ui = context_.ui;
  // The sizes in megabytes follow the user's locale: "1,5 M" in Russian.
  context_.form.DecimalSeparator = QLocale::system().decimalPoint().toStdString();
  connect(ui.BitBtn6, &QPushButton::clicked, this, [this] { context_.run([this] { BitBtn6Click(); }); });
  // Every move by the user runs the cascade; the program's own moves are
  // shown with signals blocked, so they do not run it a second time.
  for (auto [slider, state] : {std::pair{ui.MinCacheTrk, &context_.form.MinCacheTrk},
                               std::pair{ui.MaxCacheTrk, &context_.form.MaxCacheTrk}}) {
    connect(slider, &QSlider::valueChanged, this, [this, state](int position) {
      context_.run([=, this] { tuning::SetCachePosition(context_.form, *state, position); });
    });
    slider->installEventFilter(this);
  }
  ui.Label12->installEventFilter(this);
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
  Ui::TMainFrm& ui = context_.ui;
  // Entering a cache slider marks it, before it moves.
  if (event->type() == QEvent::FocusIn) {
    if (watched == ui.MinCacheTrk) context_.run([this] { tuning::MinCacheTrkEnter(context_.form); });
    if (watched == ui.MaxCacheTrk) context_.run([this] { tuning::MaxCacheTrkEnter(context_.form); });
  }
  if (watched == ui.Label12 && IsClick(ui.Label12, event)) context_.run([this] { tuning::Label12Click(context_.form); });
  return TPage::eventFilter(watched, event);
}

}  // namespace frambul::ui
