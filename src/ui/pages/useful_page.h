#pragma once

#include "pages/page.h"

namespace frambul::ui {

// "Полезности": the install path and the viewer are settings controls the
// window binds; the page adds the viewer's browse button "Обзор" and the disk
// cache sliders with their labels and the link "Авто".
class TUsefulPage : public TPage {
  Q_OBJECT

 public:
  explicit TUsefulPage(PageContext& context);

  void Show() override;
  void BitBtn6Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace frambul::ui
