#include "pages/uninstall_page.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui_TMainFrm.h"
#include "uninstall/uninstall_list.h"

namespace frambul::ui {

TUninstallPage::TUninstallPage(PageContext& context) : TPage(context) {
  Ui::TMainFrm& ui = context_.ui;
  connect(ui.UninstallLst, &QListWidget::itemSelectionChanged, this, [this] {
    context_.run([this] {
      engine::ListBox& list = context_.form.UninstallLst;
      for (size_t i = 0; i < list.Selected.size(); ++i) {
        const QListWidgetItem* line = context_.ui.UninstallLst->item(static_cast<int>(i));
        list.Selected[i] = line != nullptr && line->isSelected();
      }
    });
  });
  connect(ui.BitBtn7, &QPushButton::clicked, this, [this] { context_.run([this] { BitBtn7Click(); }); });
}

void TUninstallPage::Show() {
  QListWidget* widget = context_.ui.UninstallLst;
  const engine::ListBox& list = context_.form.UninstallLst;
  QSignalBlocker quiet(widget);
  // The lines are made again only when they changed, which keeps the user's
  // current line and the anchor of a Shift range.
  QStringList lines;
  for (const std::string& line : list.Items) lines << QString::fromStdString(line);
  QStringList shown;
  for (int i = 0; i < widget->count(); ++i) shown << widget->item(i)->text();
  if (shown != lines) {
    widget->clear();
    widget->addItems(lines);
  }
  for (int i = 0; i < widget->count(); ++i) {
    const bool selected = static_cast<size_t>(i) < list.Selected.size() && list.Selected[i];
    if (widget->item(i)->isSelected() != selected) widget->item(i)->setSelected(selected);
  }
  widget->setEnabled(list.Enabled && list.Loaded);
}

void TUninstallPage::BitBtn7Click() {
  // The registry accessor exists once the load has begun; before that the
  // list is empty.
  if (store::TRegistry* registry = context_.cycle.Registry()) uninstall::BitBtn7Click(*registry, context_.form);
}

}  // namespace frambul::ui
