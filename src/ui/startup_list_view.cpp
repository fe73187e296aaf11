#include "startup_list_view.h"

#include <QMouseEvent>

namespace frambul::ui {

int TStartupListView::RowAt(int y) const { return indexAt(QPoint(10, y)).row(); }

int TStartupListView::SelectedRow() const {
  const QModelIndexList rows = selectionModel() != nullptr ? selectionModel()->selectedRows() : QModelIndexList();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void TStartupListView::SelectRow(int row) {
  if (model() == nullptr) return;
  if (row < 0) {
    selectionModel()->clearSelection();
    return;
  }
  const QModelIndex index = model()->index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TStartupListView::mousePressEvent(QMouseEvent* event) {
  const int row = RowAt(event->position().toPoint().y());
  // The view's own handling sees the press where the row is hit-tested, so
  // that it selects the same row and a slow second click on the name edits it.
  QMouseEvent atRow(event->type(), QPointF(10, event->position().y()), event->scenePosition(),
                    event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                    event->pointingDevice());
  QTreeView::mousePressEvent(&atRow);
  SelectRow(row);
  emit MouseDown(row);
}

void TStartupListView::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press like any other.
  const int row = RowAt(event->position().toPoint().y());
  SelectRow(row);
  emit MouseDown(row);
  if (event->button() == Qt::LeftButton) emit DoubleClick();
  event->accept();
}

}  // namespace frambul::ui
