#pragma once

#include "pages/page.h"
#include "startup/menu.h"

class QAction;
class QMenu;

namespace frambul::ui {

class TStartupModel;

// "Автозапуск": the list of programs started at log-on, its pop-up menu and
// its buttons. Every operation changes the list alone; OK writes it.
class TStartupPage : public TPage {
  Q_OBJECT

 public:
  explicit TStartupPage(PageContext& context);

  void Show() override;
  // Sizes the list's columns for the width the list is shown with.
  void SizeColumns();
  // The list as the load left it.
  void Loaded();

  QMenu* StartUpMnu = nullptr;

  // Event handlers.
  void StartUpMnuPopup();
  void N1Click();
  void SetSource(startup::StartupSource source);
  void AddMnuItemClick();
  void DelMnuItemClick();
  void RenameMnuItemClick();
  void ComMnuItemClick();
  void StartUpLvwMouseDown(int row);

 private:
  // Runs an operation on the list as an event handler and shows its change.
  void Change(const std::function<startup::RowChange(int selected)>& operation);
  void OnTriggered(QAction* action, const std::function<void()>& handler);

  TStartupModel* model_ = nullptr;
  startup::StartUpMenuState menu_;
};

}  // namespace frambul::ui
