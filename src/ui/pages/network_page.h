#pragma once

#include "pages/page.h"

namespace frambul::ui {

// "Сеть": MTU, RWIN and TTL are settings controls the window binds; the page
// adds the user's pick in the TTL list, "Рекомендованные" and the link that
// computes RWIN from the MTU.
class TNetworkPage : public TPage {
  Q_OBJECT

 public:
  explicit TNetworkPage(PageContext& context);

  void Label6Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace frambul::ui
