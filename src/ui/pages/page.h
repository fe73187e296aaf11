#pragma once
// A page of the main window: its own widgets bound to its part of the
// engine's state. The window binds the settings controls of every page in
// one place (their marks and shown states); a page adapter adds what only its
// page has: buttons, links, lists and the handlers behind them.

#include <QMouseEvent>
#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>

#include "engine/cycle.h"
#include "engine/main_form.h"
#include "engine/store/machine.h"

namespace Ui {
class TMainFrm;
}

namespace frambul::ui {

// What a page adapter needs of the window.
struct PageContext {
  Ui::TMainFrm& ui;
  engine::MainForm& form;
  engine::LoadApplyCycle& cycle;
  store::Machine& machine;
  QWidget& window;
  // Runs one event handler as the window runs them all (errors shown, files
  // written when it ends, widgets showing the new states).
  std::function<void(const std::function<void()>&)> run;
  // The program the user picks in OpenPrgDlg, as a host path; empty when the
  // user cancels.
  std::function<QString()> chooseProgram;
};

// A click as a label takes it: the left button released over the label, which
// holds the mouse from the press on.
inline bool IsClick(const QWidget* label, const QEvent* event) {
  if (event->type() != QEvent::MouseButtonRelease) return false;
  const auto* mouse = static_cast<const QMouseEvent*>(event);
  return mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint());
}

class TPage : public QObject {
  Q_OBJECT

 public:
  explicit TPage(PageContext& context) : context_(context) {}

  // Shows the page's own states in its widgets; the settings controls are
  // shown by the window.
  virtual void Show() {}

 protected:
  PageContext& context_;
};

}  // namespace frambul::ui
