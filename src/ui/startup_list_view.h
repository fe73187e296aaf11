#pragma once

#include <QTreeView>

namespace frambul::ui {

// The startup list as the classic list view behaves: a press of any mouse
// button selects the row at the pointer's height, hit-tested 10 pixels from
// the left edge (so a press right of the last column still selects its row,
// and one below the rows clears the selection), and a double click is one
// event of the list, on the row selected.
class TStartupListView : public QTreeView {
  Q_OBJECT

 public:
  using QTreeView::QTreeView;

  // The row at height y, or -1.
  int RowAt(int y) const;
  // The selected row, or -1.
  int SelectedRow() const;
  void SelectRow(int row);

 signals:
  // A mouse button was pressed on the list; `row` is the row it selected.
  void MouseDown(int row);
  void DoubleClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace frambul::ui
