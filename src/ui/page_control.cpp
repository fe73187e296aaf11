#include "page_control.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleOptionTab>
#include <QStylePainter>

#include <algorithm>

namespace frambul::ui {

namespace {

// One tab as accessibility tools see it: its caption, and its place where the
// bar draws it (Qt's own interface asks QTabBar::tabRect, the one-row place).
class AccessibleTab : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  AccessibleTab(TMultiRowTabBar* bar, int index) : bar_(bar), index_(index) {}

  int Index() const { return index_; }

  bool isValid() const override { return bar_ != nullptr && index_ < bar_->count(); }
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
  QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
  QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::PageTab; }
  void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}

  QString text(QAccessible::Text t) const override {
    if (!isValid()) {
      return {};
    }
    if (t == QAccessible::Name) {
      return bar_->tabText(index_);
    }
    return t == QAccessible::Description ? bar_->tabToolTip(index_) : QString();
  }

  QRect rect() const override {
    if (!isValid()) {
      return {};
    }
    const QRect tab = bar_->TabRect(index_);
    return {bar_->mapToGlobal(tab.topLeft()), tab.size()};
  }

  // The bar's state; the current tab is the selected one, and has the focus
  // when the bar has it.
  QAccessible::State state() const override {
    QAccessible::State state;
    if (!isValid()) {
      state.invalid = true;
      return state;
    }
    state = parent()->state();
    const bool current = index_ == bar_->currentIndex();
    state.selectable = true;
    state.selected = current;
    state.focused = state.focused && current;
    state.disabled = state.disabled || !bar_->isTabEnabled(index_);
    return state;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (isValid() && name == pressAction() && bar_->isTabEnabled(index_)) {
      bar_->setCurrentIndex(index_);
    }
  }
  QStringList keyBindingsForAction(const QString& /*name*/) const override { return {}; }

 private:
  QPointer<TMultiRowTabBar> bar_;
  int index_;
};

// The multi-row tab bar as accessibility tools see it: a list of its tabs.
class AccessibleTabBar : public QAccessibleWidget {
 public:
  explicit AccessibleTabBar(TMultiRowTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
  ~AccessibleTabBar() override {
    for (QAccessible::Id id : std::as_const(tabs_)) {
      QAccessible::deleteAccessibleInterface(id);
    }
  }

  int childCount() const override { return Bar()->count(); }

  // Made at first asking and kept, so that a tab has one identity for the tools.
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) {
      return nullptr;
    }
    if (const QAccessible::Id id = tabs_.value(index)) {
      return QAccessible::accessibleInterface(id);
    }
    auto* tab = new AccessibleTab(Bar(), index);
    tabs_.insert(index, QAccessible::registerAccessibleInterface(tab));
    return tab;
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    const auto* tab = dynamic_cast<const AccessibleTab*>(child);
    return tab != nullptr && tab->parent() == this ? tab->Index() : -1;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    return child(Bar()->TabAt(Bar()->mapFromGlobal(QPoint(x, y))));
  }

  QAccessibleInterface* focusChild() const override {
    return Bar()->hasFocus() ? child(Bar()->currentIndex()) : nullptr;
  }

  // The bar is named by its current tab, as Qt names its own.
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name ? Bar()->tabText(Bar()->currentIndex()) : QAccessibleWidget::text(t);
  }

 private:
  TMultiRowTabBar* Bar() const { return static_cast<TMultiRowTabBar*>(widget()); }

  mutable QHash<int, QAccessible::Id> tabs_;
};

// Qt asks each installed factory before its own, for every object it describes.
QAccessibleInterface* AccessibleFor(const QString& /*className*/, QObject* object) {
  auto* bar = qobject_cast<TMultiRowTabBar*>(object);
  return bar != nullptr ? new AccessibleTabBar(bar) : nullptr;
}

}  // namespace

TMultiRowTabBar::TMultiRowTabBar(QWidget* parent) : QTabBar(parent) {
  static const bool accessible = (QAccessible::installFactory(AccessibleFor), true);
  Q_UNUSED(accessible);
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

int TMultiRowTabBar::TabAt(QPoint pos) const {
  const QList<QRect> rects = TabRects(width());
  for (int i = 0; i < count(); ++i) {
    if (rects[i].contains(pos)) {
      return i;
    }
  }
  return -1;
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
  const int index = TabAt(event->position().toPoint());
  if (index >= 0 && isTabEnabled(index)) {
    // On Windows a click on a tab gives the page control the focus.
    setFocus(Qt::MouseFocusReason);
    setCurrentIndex(index);
  }
  event->accept();
}

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
  auto* bar = new TMultiRowTabBar(this);
  // Connected before the tab widget connects its own handler in setTabBar, so
  // the focus has left the old page before the new page is shown.
  connect(bar, &QTabBar::currentChanged, this, &TPageControl::KeepFocusOnTabs);
  setTabBar(bar);
}

void TPageControl::KeepFocusOnTabs() {
  QWidget* focus = window()->focusWidget();
  if (focus != nullptr && focus != tabBar() && isAncestorOf(focus)) {
    tabBar()->setFocus(Qt::OtherFocusReason);
  }
}

}  // namespace frambul::ui
