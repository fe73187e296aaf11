#include "page_control.h"

#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>

#include <algorithm>

namespace frambul::ui {

TMultiRowTabBar::TMultiRowTabBar(QWidget* parent) : QTabBar(parent) {
  setUsesScrollButtons(false);
  setElideMode(Qt::ElideNone);
  setExpanding(false);
}

int TMultiRowTabBar::LayoutWidth() const {
  // The tab widget gives the bar its own width, so the rows follow that width
  // even before the bar has been placed.
  const QWidget* owner = parentWidget();
  return owner != nullptr ? owner->width() : width();
}

int TMultiRowTabBar::RowHeight() const {
  int height = 0;
  for (int i = 0; i < count(); ++i) {
    height = std::max(height, tabSizeHint(i).height());
  }
  return height;
}

QList<QList<int>> TMultiRowTabBar::Rows(int width) const {
  QList<QList<int>> rows;
  int x = 0;
  for (int i = 0; i < count(); ++i) {
    const int tabWidth = tabSizeHint(i).width();
    if (rows.isEmpty() || (x + tabWidth > width && !rows.last().isEmpty())) {
      rows.emplaceBack();
      x = 0;
    }
    rows.last().append(i);
    x += tabWidth;
  }
  return rows;
}

QList<QRect> TMultiRowTabBar::TabRects(int width) const {
  QList<QRect> rects(count());
  const QList<QList<int>> rows = Rows(width);
  const int rowCount = static_cast<int>(rows.size());
  const int height = RowHeight();
  int currentRow = 0;
  for (int r = 0; r < rowCount; ++r) {
    if (rows[r].contains(currentIndex())) {
      currentRow = r;
    }
  }
  for (int r = 0; r < rowCount; ++r) {
    // Rows turn round so that the current one is the bottom row, the others
    // keeping their cyclic order above it.
    const int fromBottom = (r - currentRow + rowCount) % rowCount;
    const int y = (rowCount - 1 - fromBottom) * height;
    int natural = 0;
    for (int i : rows[r]) {
      natural += tabSizeHint(i).width();
    }
    const int spare = rowCount > 1 ? std::max(0, width - natural) : 0;
    const int tabs = static_cast<int>(rows[r].size());
    int x = 0;
    for (int k = 0; k < tabs; ++k) {
      const int i = rows[r][k];
      const int share = spare * (k + 1) / tabs - spare * k / tabs;
      rects[i] = QRect(x, y, tabSizeHint(i).width() + share, height);
      x += rects[i].width();
    }
  }
  return rects;
}

QRect TMultiRowTabBar::TabRect(int index) const {
  const QList<QRect> rects = TabRects(width());
  return index >= 0 && index < rects.size() ? rects[index] : QRect();
}

QSize TMultiRowTabBar::sizeHint() const {
  const int width = LayoutWidth();
  if (width <= 0 || count() == 0) {
    return QTabBar::sizeHint();
  }
  return {width, static_cast<int>(Rows(width).size()) * RowHeight()};
}

// As narrow as the widest tab; as high as the rows at the present width.
QSize TMultiRowTabBar::minimumSizeHint() const {
  int widest = 0;
  for (int i = 0; i < count(); ++i) {
    widest = std::max(widest, tabSizeHint(i).width());
  }
  return {widest, sizeHint().height()};
}

void TMultiRowTabBar::paintEvent(QPaintEvent* /*event*/) {
  const QList<QRect> rects = TabRects(width());
  const QList<QList<int>> rows = Rows(width());
  QStylePainter painter(this);
  auto paintTab = [&](int index) {
    QStyleOptionTab option;
    initStyleOption(&option, index);
    option.rect = rects[index];
    // Position within its own row, which is what the style draws edges by.
    for (const QList<int>& row : rows) {
      const auto at = row.indexOf(index);
      if (at < 0) {
        continue;
      }
      const bool first = at == 0;
      const bool last = at == row.size() - 1;
      option.position = first && last ? QStyleOptionTab::OnlyOneTab
                        : first       ? QStyleOptionTab::Beginning
                        : last        ? QStyleOptionTab::End
                                      : QStyleOptionTab::Middle;
      option.selectedPosition = QStyleOptionTab::NotAdjacent;
      if (!first && row[at - 1] == currentIndex()) {
        option.selectedPosition = QStyleOptionTab::PreviousIsSelected;
      } else if (!last && row[at + 1] == currentIndex()) {
        option.selectedPosition = QStyleOptionTab::NextIsSelected;
      }
    }
    painter.drawControl(QStyle::CE_TabBarTab, option);
  };
  for (int i = 0; i < count(); ++i) {
    if (i != currentIndex()) {
      paintTab(i);
    }
  }
  // The current tab last: it overlaps its neighbours and the page's edge.
  if (currentIndex() >= 0) {
    paintTab(currentIndex());
  }
}

void TMultiRowTabBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QList<QRect> rects = TabRects(width());
  for (int i = 0; i < count(); ++i) {
    if (rects[i].contains(event->position().toPoint()) && isTabEnabled(i)) {
      setCurrentIndex(i);
      break;
    }
  }
  event->accept();
}

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
  setTabBar(new TMultiRowTabBar(this));
}

}  // namespace frambul::ui
