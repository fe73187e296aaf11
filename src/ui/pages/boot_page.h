#pragma once

#include "pages/page.h"

namespace frambul::ui {

// "Запуск Виндов": the switches and the boot delay are settings controls the
// window binds; the page keeps "Загружать Другую ОС" enabled only while
// "Разрешить Загрузку Предыдущей ОС" is checked.
class TBootPage : public TPage {
  Q_OBJECT

 public:
  explicit TBootPage(PageContext& context);
};

}  // namespace frambul::ui
