#pragma once

#include "pages/page.h"

namespace frambul::ui {

// "Мелочи": the check boxes and the recycle bin's name are settings controls
// the window binds; the page adds the menu delay's track bar.
class TMiscPage : public TPage {
  Q_OBJECT

 public:
  explicit TMiscPage(PageContext& context);
};

}  // namespace frambul::ui
