#pragma once

#include "pages/page.h"

namespace frambul::ui {

// "Сеть": MTU, RWIN and TTL are settings controls the window binds; the page
// adds the user's pick in the TTL list.
class TNetworkPage : public TPage {
  Q_OBJECT

 public:
  explicit TNetworkPage(PageContext& context);
};

}  // namespace frambul::ui
