#pragma once

#include <QList>
#include <QRect>
#include <QTabBar>
#include <QTabWidget>

namespace frambul::ui {

// A tab bar that shows every tab, in as many rows as its width needs, as the
// classic Windows page control does: when there is more than one row, each row
// is stretched to the full width and the row holding the current tab lies next
// to the page. It never scrolls. A click on a tab gives the bar the focus, and
// accessibility tools are told where the tabs are drawn.
class TMultiRowTabBar : public QTabBar {
  Q_OBJECT

 public:
  explicit TMultiRowTabBar(QWidget* parent = nullptr);

  // Where tab `index` is drawn and clicked, in the bar's coordinates.
  QRect TabRect(int index) const;
  // The tab drawn at `pos`, in the bar's coordinates; -1 where there is none.
  int TabAt(QPoint pos) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // Tabs of each row, top row first, for a bar of the given width.
  QList<QList<int>> Rows(int width) const;
  QList<QRect> TabRects(int width) const;
  int RowHeight() const;
  int LayoutWidth() const;
};

// The page control of the main window: a tab widget with the multi-row tab bar.
// A change of page leaves the focus on the tabs, as on Windows; Qt would carry
// it into the new page, whose first control would then be entered unasked.
class TPageControl : public QTabWidget {
  Q_OBJECT

 public:
  explicit TPageControl(QWidget* parent = nullptr);

 private:
  // Moves the focus out of the page in front onto the tab bar.
  void KeepFocusOnTabs();
};

}  // namespace frambul::ui
