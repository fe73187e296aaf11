#pragma once

#include <QPixmap>
#include <vector>

#include "pages/page.h"

class QMenu;

namespace frambul::ui {

// "Автозапуск": the list of programs started at log-on, its pop-up menu and
// its buttons.
class TStartupPage : public TPage {
  Q_OBJECT

 public:
  explicit TStartupPage(PageContext& context);

  // Sizes the list's columns for the width the list is shown with.
  void SizeColumns();

  QMenu* StartUpMnu = nullptr;
  std::vector<QPixmap> StartUpImgLst;
};

}  // namespace frambul::ui
