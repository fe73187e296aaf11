#pragma once

#include "pages/page.h"

namespace frambul::ui {

// "Удаление Программ": the list of installed programs, several lines
// selectable at once, and "Удалить Из Списка", which removes the selected
// entries at once.
class TUninstallPage : public TPage {
  Q_OBJECT

 public:
  explicit TUninstallPage(PageContext& context);

  void Show() override;
  void BitBtn7Click();
};

}  // namespace frambul::ui
