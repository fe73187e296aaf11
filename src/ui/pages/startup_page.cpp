#include "pages/startup_page.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "dialogs.h"
#include "pages/startup_model.h"
#include "program.h"
#include "startup_list_view.h"
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

  TStartupListView* list = ui.StartUpLvw;
  model_ = new TStartupModel(context_.form.StartUpLvw, this);
  list->setModel(model_);
  list->header()->setSectionsMovable(false);
  list->header()->setSectionsClickable(false);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    context_.run([this] { StartUpMnuPopup(); });
    StartUpMnu->popup(context_.ui.StartUpLvw->viewport()->mapToGlobal(at));
  });
  connect(list, &TStartupListView::MouseDown, this,
          [this](int row) { context_.run([=, this] { StartUpLvwMouseDown(row); }); });
  connect(list, &TStartupListView::DoubleClick, this, [this] { context_.run([this] { N1Click(); }); });

  OnTriggered(ui.N1, [this] { N1Click(); });
  OnTriggered(ui.RegMnuItem, [this] { SetSource(startup::StartupSource::Common); });
  OnTriggered(ui.RegPersMnuItem, [this] { SetSource(startup::StartupSource::Personal); });
  OnTriggered(ui.WinIniMnuItem, [this] { SetSource(startup::StartupSource::WinIni); });
  OnTriggered(ui.AddMnuItem, [this] { AddMnuItemClick(); });
  OnTriggered(ui.DelMnuItem, [this] { DelMnuItemClick(); });
  OnTriggered(ui.RenameMnuItem, [this] { RenameMnuItemClick(); });
  OnTriggered(ui.ComMnuItem, [this] { ComMnuItemClick(); });
  // Each button does what its menu item does.
  connect(ui.AddBtn, &QPushButton::clicked, ui.AddMnuItem, &QAction::trigger);
  connect(ui.DelBtn, &QPushButton::clicked, ui.DelMnuItem, &QAction::trigger);
  connect(ui.ComBtn, &QPushButton::clicked, ui.ComMnuItem, &QAction::trigger);
}

void TStartupPage::OnTriggered(QAction* action, const std::function<void()>& handler) {
  connect(action, &QAction::triggered, this, [this, handler] { context_.run(handler); });
}

void TStartupPage::Loaded() { model_->Reset(); }

void TStartupPage::Show() {
  const startup::StartupList& list = context_.form.StartUpLvw;
  context_.ui.Startup->setEnabled(list.PageEnabled());
  context_.ui.DelBtn->setEnabled(list.DelBtnEnabled());
  context_.ui.ComBtn->setEnabled(list.ComBtnEnabled());
}

void TStartupPage::SizeColumns() {
  QTreeView* list = context_.ui.StartUpLvw;
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

void TStartupPage::Change(const std::function<startup::RowChange(int)>& operation) {
  model_->Apply(operation(context_.ui.StartUpLvw->SelectedRow()));
}

void TStartupPage::StartUpMnuPopup() {
  const startup::StartupList& list = context_.form.StartUpLvw;
  menu_ = startup::StartUpMnuPopup(list.At(context_.ui.StartUpLvw->SelectedRow()), menu_);
  const std::pair<QAction*, const startup::MenuItemState&> items[] = {
      {context_.ui.N1, menu_.N1},
      {StartUpMnu->findChild<QAction*>("N2"), menu_.N2},
      {context_.ui.RegMnuItem, menu_.RegMnuItem},
      {context_.ui.RegPersMnuItem, menu_.RegPersMnuItem},
      {context_.ui.WinIniMnuItem, menu_.WinIniMnuItem},
      {StartUpMnu->findChild<QAction*>("N5"), menu_.N5},
      {context_.ui.AddMnuItem, menu_.AddMnuItem},
      {context_.ui.DelMnuItem, menu_.DelMnuItem},
      {StartUpMnu->findChild<QAction*>("N3"), menu_.N3},
      {context_.ui.RenameMnuItem, menu_.RenameMnuItem},
      {context_.ui.ComMnuItem, menu_.ComMnuItem},
  };
  for (const auto& [action, state] : items) {
    action->setEnabled(state.Enabled);
    // "Автозапуск" shows its mark as the default item's bold text alone.
    if (action->isCheckable()) action->setChecked(state.Checked);
  }
}

void TStartupPage::N1Click() {
  Change([this](int row) { return context_.form.StartUpLvw.Toggle(row); });
}

void TStartupPage::SetSource(startup::StartupSource source) {
  Change([this, source](int row) { return context_.form.StartUpLvw.SetSource(row, source); });
}

void TStartupPage::AddMnuItemClick() {
  const QString chosen = context_.chooseProgram();
  if (chosen.isEmpty()) return;
  // The machine runs the program by its Windows path.
  const std::string path = context_.machine.WindowsPath(chosen.toStdString());
  Change([this, &path](int) { return context_.form.StartUpLvw.Add(path); });
}

void TStartupPage::DelMnuItemClick() {
  Change([this](int row) { return context_.form.StartUpLvw.Remove(row); });
}

void TStartupPage::RenameMnuItemClick() {
  TStartupListView* list = context_.ui.StartUpLvw;
  const int row = list->SelectedRow();
  if (row < 0) return;
  list->setFocus();
  // The model allows the edit for registry entries alone.
  list->edit(model_->index(row, 0));
}

void TStartupPage::ComMnuItemClick() {
  const int row = context_.ui.StartUpLvw->SelectedRow();
  const startup::StartupEntry* entry = context_.form.StartUpLvw.At(row);
  if (entry == nullptr || ComFrm == nullptr) return;
  ComFrm->Edit1()->setText(QString::fromStdString(entry->CommandLine));
  if (ComFrm->exec() != QDialog::Accepted) return;
  const std::string commandLine = ComFrm->Edit1()->text().toStdString();
  Change([this, &commandLine](int selected) { return context_.form.StartUpLvw.SetCommandLine(selected, commandLine); });
}

void TStartupPage::StartUpLvwMouseDown(int row) { context_.form.StartUpLvw.MouseDown(row); }

}  // namespace frambul::ui
