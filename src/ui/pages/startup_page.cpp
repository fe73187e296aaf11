#include "pages/startup_page.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>

#include "look.h"
#include "ui_TMainFrm.h"

namespace frambul::ui {

TStartupPage::TStartupPage(PageContext& context) : TPage(context) {
  Ui::TMainFrm& ui = context_.ui;
  StartUpMnu = new QMenu(&context_.window);
  StartUpMnu->setObjectName("StartUpMnu");
  auto separator = [this](const char* name) { StartUpMnu->addSeparator()->setObjectName(name); };
  StartUpMnu->addAction(ui.N1);
  StartUpMnu->setDefaultAction(ui.N1);
  separator("N2");
  // The three sources are radio items of one group (SourceMnuGroup).
  StartUpMnu->addActions({ui.RegMnuItem, ui.RegPersMnuItem, ui.WinIniMnuItem});
  separator("N5");
  StartUpMnu->addAction(ui.AddMnuItem);
  StartUpMnu->addAction(ui.DelMnuItem);
  separator("N3");
  StartUpMnu->addAction(ui.RenameMnuItem);
  StartUpMnu->addAction(ui.ComMnuItem);
  ui.StartUpLvw->header()->setSectionsMovable(false);
  ui.StartUpLvw->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui.StartUpLvw, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { StartUpMnu->popup(context_.ui.StartUpLvw->viewport()->mapToGlobal(at)); });
  StartUpImgLst = {StartUpImage(0), StartUpImage(1)};
}

void TStartupPage::SizeColumns() {
  QTreeWidget* list = context_.ui.StartUpLvw;
  // The window is not shown yet: lay out the containers down to the list,
  // so that it has the width it will be shown with.
  std::vector<QWidget*> containers;
  for (QWidget* w = list->parentWidget(); w != nullptr; w = w->parentWidget()) containers.push_back(w);
  for (auto w = containers.rbegin(); w != containers.rend(); ++w) {
    if ((*w)->layout() != nullptr) (*w)->layout()->activate();
  }
  QFontMetrics metrics(list->font());
  int place = metrics.horizontalAdvance(QStringLiteral("Реестр (Личный)")) + 12;
  int run = metrics.horizontalAdvance(QStringLiteral("Запуск")) + 12;
  list->setColumnWidth(0, list->width() - place - run - 24);
  list->setColumnWidth(1, run);
  list->setColumnWidth(2, place);
}

}  // namespace frambul::ui
