// Loads the Designer forms as the program does (classic look, dressed to the
// screen) and checks them against the window's tables of controls: names,
// classes, texts, hints, properties, keyboard order and the dialogs' keys.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include <cmath>

#include "dialogs.h"
#include "look.h"
#include "page_control.h"
#include "ui_TMainFrm.h"

using frambul::ui::DressForm;
using frambul::ui::LayoutScale;
using frambul::ui::TMultiRowTabBar;

namespace {

// The main window's form, dressed at its client size, as TMainFrm builds it.
struct MainForm {
  QDialog dialog;
  Ui::TMainFrm ui;

  MainForm() {
    ui.setupUi(&dialog);
    DressForm(dialog, {578, 372});
  }

  // Shows the window and makes it the active one, so that keys move focus.
  void Show() {
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
  }
};

struct Control {
  const char* name;
  const char* className;
  const char* text;
  const char* hint;
};

const char* const kPortHint = "Спасибо - Gosha Frolow";

const Control kMainControls[] = {
    {"MainFrm", "QDialog", "Фрамбуль Над Windows", ""},
    {"PageControl1", "QTabWidget", "", ""},
    {"MiscPage", "QWidget", "Мелочи", ""},
    {"UsefulPage", "QWidget", "Полезности", ""},
    {"BootPage", "QWidget", "Запуск Виндов", ""},
    {"Startup", "QWidget", "Автозапуск", ""},
    {"NetworkPage", "QWidget", "Сеть", ""},
    {"UninstallPage", "QWidget", "Удаление Программ", ""},
    {"OkBtn", "QPushButton", "Угу", ""},
    {"BitBtn2", "QPushButton", "Отмена", ""},
    {"BitBtn3", "QPushButton", "Справка", ""},
    {"BitBtn4", "QPushButton", "Автор", ""},
    {"BitBtn5", "QPushButton", "Ссылки", ""},
    // Misc page.
    {"GroupBox6", "QGroupBox", "", ""},
    {"ShortCutChk", "QCheckBox", "Стрелки Ярлыков",
     "Показ Черно-Белых Стрелок В Углу Иконки Ярлыка (Спасибо: Кукушонок)"},
    {"TailNumChk", "QCheckBox", "Цифры В Конце ДОС-Имен Файлов",
     "В ДОС-Версиях Длинных Имен Окончание \"~1\" (Спасибо: Игнат Буров)"},
    {"PasswChk", "QCheckBox", "Отключение Сохранения Паролей",
     "Если Боитесь, Что Хакеры Узнают Ваш Интернет-Пароль (Спасибо: Nimbus)"},
    {"DblClckChk", "QCheckBox", "Средняя Кнопка = Двойной Щелчок", "Работает Только Для Мышей Logitech"},
    {"BMPChk", "QCheckBox", "BMP В Виде Картинок", "Вместо Иконки - Уменьшенная Копия Самой Картинки (Спасибо: Gosha)"},
    {"GroupBox4", "QGroupBox", "Задержка Выпадения Меню", ""},
    {"MenuShowDelayTrk", "QSlider", "", "Стандартно - 400 Миллисекунд"},
    {"Label7", "QLabel", "Нет", ""},
    {"Label8", "QLabel", "1 Секунда", ""},
    {"GroupBox5", "QGroupBox", "Имя Корзины", ""},
    {"RecycleEdt", "QLineEdit", "", ""},
    // Useful page.
    {"GroupBox3", "QGroupBox", "Путь К Инсталляции Виндов", ""},
    {"WinInstEdt", "QLineEdit", "", ""},
    {"GroupBox2", "QGroupBox", "\"Открывалка Неоткрываемого\"", ""},
    {"DefViewerEdt", "QLineEdit", "", ""},
    {"Label17", "QLabel", "Программа Просмотра Файлов Неизвестных Типов", ""},
    {"BitBtn6", "QPushButton", "Обзор", ""},
    {"GroupBox1", "QGroupBox", "Размер Кэша Диска", "Это Не Файл Подкачки"},
    {"Label9", "QLabel", "Min:", ""},
    {"MinLbl", "QLabel", "Авто", ""},
    {"MinCacheTrk", "QSlider", "", "0"},
    {"Label11", "QLabel", "Max:", ""},
    {"MaxLbl", "QLabel", "Авто", ""},
    {"MaxCacheTrk", "QSlider", "", "0"},
    {"Label12", "QLabel", "Авто", ""},
    {"Label13", "QLabel", "32 Мб", ""},
    // Boot page.
    {"Bevel5", "QFrame", "", ""},
    {"Label4", "QLabel", "По Умолчанию Все Галки Сняты...", ""},
    {"LogoChk", "QCheckBox", "Не Показывать Заставку", ""},
    {"NetworkChk", "QCheckBox", "Включить Поддержку Сети В Safe Mode", "Можно Обойти Проверку Пароля Доменом NT"},
    {"AutoScanChk", "QCheckBox", "Не Проверять Диск При Запуске", "В Смысле, После Некорректного Завершения Windows"},
    {"BootMultiChk", "QCheckBox", "Разрешить Загрузку Предыдущей ОС", "НЕ Рекомендуется Для OSR2"},
    {"BootWinChk", "QCheckBox", "Загружать Другую ОС Вместо Виндов", ""},
    {"BootGUIChk", "QCheckBox", "Не Загружать Графическую Среду", ""},
    {"BootMenuChk", "QCheckBox", "Всегда Показывать Меню", "Конкретное Извращение :-)"},
    {"BootDelayEdt", "QLineEdit", "", ""},
    {"Label3", "QLabel", "Задержка После Надписи Starting Windows ....", ""},
    {"BootKeysChk", "QCheckBox", "Запретить Клавиши При Запуске", "F4, F5, F8 И Проч. Прелести"},
    {"DblSpaceChk", "QCheckBox", "Не Грузить Drv/DblSpace", "Памяти Немного Освобождает"},
    {"DoubleBufferChk", "QCheckBox", "Не Грузить DoubleBuffer", ""},
    // Startup page.
    {"Panel1", "QFrame", "", ""},
    {"StartUpLvw", "QTreeWidget", "Программа|Запуск|Место", ""},
    {"Label10", "QLabel", "Совет: Работает Правая Кнопка Мыши", ""},
    {"AddBtn", "QPushButton", "Добавить", ""},
    {"DelBtn", "QPushButton", "Убрать", "Погодите! Можно Просто Временно Запретить..."},
    {"ComBtn", "QPushButton", "Подробно", "Полная Командная Строка"},
    // Network page.
    {"Label15", "QLabel", "Лень Разбираться? Жми:", ""},
    {"BitBtn1", "QPushButton", "Рекомендованные", ""},
    {"GroupBox7", "QGroupBox", "MTU (Maximum Transmission Unit)", ""},
    {"MTUEdt", "QLineEdit", "1500", kPortHint},
    {"Label2", "QLabel", "Рекомендованное Значение Для Интернет - 576", ""},
    {"Label1", "QLabel", "В Интернет Встречаются Значения Из Ряда: 512, 552, 556, 576, 1024, 1152, 1500, 1524", ""},
    {"GroupBox8", "QGroupBox", "RWIN (Default Receive Window)", ""},
    {"RWINEdt", "QLineEdit", "5840", kPortHint},
    {"Label5", "QLabel", "Рекомендованное Значение - 2144", ""},
    {"Label6", "QLabel", "Обычно Равно (MTU-40)*4", "Так И Посчитать"},
    {"GroupBox9", "QGroupBox", "TTL (Time To Live)", ""},
    {"TTLCbx", "QComboBox", "32|64|", kPortHint},
    {"Label14", "QLabel", "Рекомендованное Значение - 64", ""},
    // Uninstall page.
    {"Label16", "QLabel", "Иногда Появляются Лишние Удалялки...", ""},
    {"UninstallLst", "QListWidget", "", ""},
    {"BitBtn7", "QPushButton", "Удалить Из Списка", ""},
};

const Control kAboutControls[] = {
    {"AboutFrm", "QDialog", "AboutFrm", ""},
    {"Label5", "QLabel", "Фрамбуль Над Windows", ""},
    {"Bevel1", "QFrame", "", ""},
    {"Label1", "QLabel", "Программа Склепана В", ""},
    {"Label3", "QLabel", "Tinker Guild", ""},
    {"Label2", "QLabel", "И Было Это Зимой 1999 Года", ""},
    {"Label6", "QLabel", "Версия 3.0", ""},
    {"Bevel2", "QFrame", "", ""},
    {"Label13", "QLabel", "Все Вопросы/Наезды/Идеи Мылом", ""},
    {"Label4", "QLabel", "frambul@example.org", ""},
    {"Bevel3", "QFrame", "", ""},
    {"BitBtn1", "QPushButton", "Угу", ""},
};

const Control kLinksControls[] = {
    {"LinksFrm", "QDialog", "Благодарности И Ссылки", ""},
    {"Label1", "QLabel",
     "Большинство Параметров Из Категории \"Мелочи\" Взяты Со Страницы Группы Технической Поддержки Дромокс", ""},
    {"Label2", "QLabel", "http://support.example.org/tweaks/", ""},
    {"Label3", "QLabel",
     "Помимо Прочего, На Упомянутой Странице Можно Найти Массу Полезного И Интересного О Настройке Компьютеров И "
     "Не Только.",
     ""},
    {"Label4", "QLabel", "Спасибо Людям, Принявшим Участие В Тестировании И Доводке", ""},
    {"Label5", "QLabel", "Ned, Marta, OurSysop, Игнат Буров, Сева", ""},
    {"Label6", "QLabel", "А Также, Авторам Материалов, Использованных При Создании Программы", ""},
    {"Label7", "QLabel", "Кукушонок, Игнат Буров, Nimbus, Gosha, Gosha Frolow", ""},
    {"BitBtn1", "QPushButton", "Угу", ""},
};

const Control kComControls[] = {
    {"ComFrm", "QDialog", "Подробно...", ""},
    {"Label1", "QLabel", "Командная Строка", ""},
    {"Edit1", "QLineEdit", "", ""},
    {"BitBtn1", "QPushButton", "Угу", ""},
    {"BitBtn2", "QPushButton", "Отмена", ""},
};

// The text a control shows: its caption, title, tab caption, item or column texts.
QString Caption(QWidget* widget) {
  if (widget->isWindow()) {
    return widget->windowTitle();
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return button->text();
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return label->text();
  }
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    return edit->text();
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    return group->title();
  }
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
      items << combo->itemText(i);
    }
    return items.join('|');
  }
  if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
    QStringList columns;
    for (int i = 0; i < tree->columnCount(); ++i) {
      columns << tree->headerItem()->text(i);
    }
    return columns.join('|');
  }
  for (QWidget* p = widget->parentWidget(); p != nullptr; p = p->parentWidget()) {
    if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
      const int page = tabs->indexOf(widget);
      return page >= 0 ? tabs->tabText(page) : QString();
    }
  }
  return {};
}

template <size_t N>
void CheckControls(QWidget& form, const Control (&table)[N]) {
  for (const Control& control : table) {
    QWidget* widget =
        form.objectName() == control.name ? &form : form.findChild<QWidget*>(QString::fromLatin1(control.name));
    QVERIFY2(widget != nullptr, control.name);
    QVERIFY2(widget->inherits(control.className), control.name);
    QCOMPARE(Caption(widget), QString::fromUtf8(control.text));
    QCOMPARE(widget->toolTip(), QString::fromUtf8(control.hint));
  }
}

// Checks that the form's layout fits its fixed size and that no visible text is
// cut: labels and buttons get their full width, wrapped labels all their lines.
void CheckTextsFit(QWidget& form) {
  QVERIFY2(form.layout()->minimumSize().width() <= form.width(), qPrintable(form.objectName()));
  QVERIFY2(form.layout()->minimumSize().height() <= form.height(), qPrintable(form.objectName()));
  for (QWidget* widget : form.findChildren<QWidget*>()) {
    if (!widget->isVisible()) {
      continue;
    }
    const QString name = widget->objectName();
    auto* label = qobject_cast<QLabel*>(widget);
    if (label != nullptr && label->wordWrap()) {
      QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(name));
    } else if (label != nullptr || qobject_cast<QAbstractButton*>(widget) != nullptr) {
      QVERIFY2(widget->width() >= widget->sizeHint().width(), qPrintable(name));
      QVERIFY2(widget->height() >= widget->minimumSizeHint().height(), qPrintable(name));
    }
  }
}

// Names of the controls that Tab visits from the page control's tabs, in order,
// until the focus comes back to the tabs.
QStringList TabWalk(MainForm& form) {
  QTabBar* tabs = form.ui.PageControl1->tabBar();
  tabs->setFocus();
  QStringList names;
  for (int step = 0; step < 60; ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    if (focus == tabs || focus == nullptr) {
      break;
    }
    names << focus->objectName();
  }
  return names;
}

}  // namespace

class FormsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { frambul::ui::ApplyClassicLook(*qobject_cast<QApplication*>(QCoreApplication::instance())); }

  void controlsHaveTheirNamesClassesTextsAndHints() {
    MainForm main;
    CheckControls(main.dialog, kMainControls);
    frambul::ui::TAboutFrm about;
    CheckControls(about, kAboutControls);
    frambul::ui::TLinksFrm links;
    CheckControls(links, kLinksControls);
    frambul::ui::TComFrm com;
    CheckControls(com, kComControls);
    QCOMPARE(com.Edit1(), com.findChild<QLineEdit*>("Edit1"));
  }

  void controlsStartAsTheWindowIsBuilt() {
    MainForm main;
    const Ui::TMainFrm& ui = main.ui;
    QCOMPARE(ui.PageControl1->currentWidget(), ui.MiscPage);
    QVERIFY(ui.OkBtn->isDefault());
    QVERIFY(!ui.DelBtn->isEnabled());
    QVERIFY(!ui.ComBtn->isEnabled());
    QCOMPARE(ui.TTLCbx->currentIndex(), -1);
    QVERIFY(!ui.TTLCbx->isEditable());
    QCOMPARE(ui.UninstallLst->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(ui.StartUpLvw->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(ui.StartUpLvw->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!ui.StartUpLvw->rootIsDecorated());
    QVERIFY(!ui.StartUpLvw->header()->sectionsClickable());
    for (QCheckBox* check : main.dialog.findChildren<QCheckBox*>()) {
      QVERIFY2(!check->isChecked() && check->isEnabled(), qPrintable(check->objectName()));
    }

    struct Slider {
      QSlider* slider;
      int minimum, maximum, value, line, page, tick;
    };
    for (const Slider& s : {Slider{ui.MenuShowDelayTrk, 0, 1000, 400, 10, 100, 100},
                            Slider{ui.MinCacheTrk, 0, 64, 0, 1, 1, 2}, Slider{ui.MaxCacheTrk, 0, 64, 0, 1, 2, 2}}) {
      QCOMPARE(s.slider->orientation(), Qt::Horizontal);
      QCOMPARE(s.slider->minimum(), s.minimum);
      QCOMPARE(s.slider->maximum(), s.maximum);
      QCOMPARE(s.slider->value(), s.value);
      QCOMPARE(s.slider->singleStep(), s.line);
      QCOMPARE(s.slider->pageStep(), s.page);
      QCOMPARE(s.slider->tickInterval(), s.tick);
      QCOMPARE(s.slider->tickPosition(), QSlider::TicksBelow);
    }

    for (QLabel* bold : {ui.MinLbl, ui.MaxLbl, ui.Label4, ui.Label10, ui.Label15, ui.Label16}) {
      QVERIFY2(bold->font().bold(), qPrintable(bold->objectName()));
    }
    for (QLabel* link : {ui.Label12, ui.Label6}) {
      link->ensurePolished();
      QVERIFY(link->font().underline());
      QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
      QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
    }

    // The pop-up menu's items; the three sources form one exclusive group.
    const std::pair<const char*, const char*> items[] = {
        {"N1", "Автозапуск"},           {"RegMnuItem", "Реестр (Общий)"}, {"RegPersMnuItem", "Реестр (Личный)"},
        {"WinIniMnuItem", "Win.Ini"},   {"AddMnuItem", "Добавить"},       {"DelMnuItem", "Убрать Совсем"},
        {"RenameMnuItem", "Переименовать"}, {"ComMnuItem", "Подробно"},
    };
    for (const auto& [name, caption] : items) {
      auto* action = main.dialog.findChild<QAction*>(name);
      QVERIFY2(action != nullptr, name);
      QCOMPARE(action->text(), QString::fromUtf8(caption));
    }
    QVERIFY(ui.N1->font().bold());
    QVERIFY(ui.RegMnuItem->isChecked());
    ui.WinIniMnuItem->setChecked(true);
    QVERIFY(!ui.RegMnuItem->isChecked());
    QVERIFY(!ui.RegPersMnuItem->isChecked());
  }

  void tabVisitsTheControlsInTheTablesOrder() {
    MainForm main;
    main.ui.DelBtn->setEnabled(true);
    main.ui.ComBtn->setEnabled(true);
    main.Show();
    const QStringList buttons = {"OkBtn", "BitBtn2", "BitBtn3", "BitBtn4", "BitBtn5"};
    const QStringList pages[] = {
        {"MenuShowDelayTrk", "RecycleEdt", "ShortCutChk", "TailNumChk", "PasswChk", "DblClckChk", "BMPChk"},
        {"MinCacheTrk", "MaxCacheTrk", "DefViewerEdt", "BitBtn6", "WinInstEdt"},
        {"LogoChk", "NetworkChk", "AutoScanChk", "BootMultiChk", "BootWinChk", "BootGUIChk", "BootMenuChk",
         "BootDelayEdt", "BootKeysChk", "DblSpaceChk", "DoubleBufferChk"},
        {"AddBtn", "DelBtn", "ComBtn", "StartUpLvw"},
        {"MTUEdt", "RWINEdt", "TTLCbx", "BitBtn1"},
        {"UninstallLst", "BitBtn7"},
    };
    for (int page = 0; page < 6; ++page) {
      main.ui.PageControl1->setCurrentIndex(page);
      QCOMPARE(TabWalk(main), pages[page] + buttons);
    }
  }

  void enterPressesOkFromAnyControlAndLabelsTakeNoFocus() {
    MainForm main;
    main.Show();
    QSignalSpy ok(main.ui.OkBtn, &QPushButton::clicked);
    QSignalSpy help(main.ui.BitBtn3, &QPushButton::clicked);
    for (QWidget* control : std::initializer_list<QWidget*>{main.ui.BitBtn3, main.ui.MenuShowDelayTrk, main.ui.RecycleEdt,
                                                            main.ui.ShortCutChk}) {
      control->setFocus();
      QTest::keyClick(control, Qt::Key_Return);
    }
    QCOMPARE(ok.count(), 4);
    QCOMPARE(help.count(), 0);
    for (QWidget* widget : main.dialog.findChildren<QWidget*>()) {
      const QByteArray kind = widget->metaObject()->className();
      if (kind == "QLabel" || kind == "QGroupBox" || kind == "QFrame") {
        QVERIFY2(widget->focusPolicy() == Qt::NoFocus, qPrintable(widget->objectName()));
      }
    }
  }

  void focusableControlsHaveAccessibleNames() {
    MainForm main;
    frambul::ui::TAboutFrm about;
    frambul::ui::TLinksFrm links;
    frambul::ui::TComFrm com;
    for (QWidget* form : std::initializer_list<QWidget*>{&main.dialog, &about, &links, &com}) {
      for (QWidget* widget : form->findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        // The page control's tabs are named by their captions.
        if (name.isEmpty() || name.startsWith("qt_") || widget == main.ui.PageControl1 ||
            (widget->focusPolicy() & Qt::TabFocus) == 0) {
          continue;
        }
        QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(name));
      }
    }
    QCOMPARE(main.ui.MenuShowDelayTrk->accessibleName(), QString("Задержка Выпадения Меню"));
    QCOMPARE(main.ui.MinCacheTrk->accessibleName(), QString("Размер Кэша Диска: Min"));
    QCOMPARE(main.ui.MaxCacheTrk->accessibleName(), QString("Размер Кэша Диска: Max"));
    QCOMPARE(main.ui.BootDelayEdt->accessibleName(), main.ui.Label3->text());
  }

  void infoDialogsCloseByTheirButtonOrCloseBoxButNotByEscape() {
    frambul::ui::TAboutFrm about;
    frambul::ui::TLinksFrm links;
    for (QDialog* dialog : std::initializer_list<QDialog*>{&about, &links}) {
      for (int showing = 0; showing < 2; ++showing) {
        dialog->show();
        auto* button = dialog->findChild<QPushButton*>("BitBtn1");
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        if (showing == 0) {
          dialog->close();  // the close box
        } else {
          QTest::mouseClick(button, Qt::LeftButton);
        }
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
      }
    }
  }

  void detailsDialogAcceptsOnEnterAndRejectsOnEscape() {
    frambul::ui::TComFrm com;
    com.show();
    com.Edit1()->setFocus();
    QTest::keyClick(com.Edit1(), Qt::Key_Escape);
    QVERIFY(!com.isVisible());
    QCOMPARE(com.result(), int(QDialog::Rejected));
    com.show();
    com.Edit1()->setFocus();
    QTest::keyClick(com.Edit1(), Qt::Key_Return);
    QVERIFY(!com.isVisible());
    QCOMPARE(com.result(), int(QDialog::Accepted));
  }

  void dressedSizesFollowTheLayoutScale() {
    const double scale = LayoutScale();
    QVERIFY(scale > 0.5 && scale < 3);
    const auto scaled = [scale](int w, int h) {
      return QSize(int(std::lround(w * scale)), int(std::lround(h * scale)));
    };
    MainForm main;
    QCOMPARE(main.dialog.minimumSize(), scaled(578, 372));
    QCOMPARE(main.dialog.maximumSize(), scaled(578, 372));
    QCOMPARE(main.ui.PageControl1->maximumWidth(), scaled(433, 0).width());
    QCOMPARE(main.ui.StartUpLvw->maximumSize(), scaled(401, 241));
    QCOMPARE(main.ui.StartUpLvw->iconSize(), QSize(22, 18));
    QCOMPARE(main.ui.OkBtn->iconSize(), QSize(16, 16));
    QVERIFY(!main.ui.OkBtn->icon().isNull());
    QCOMPARE(main.ui.ShortCutChk->font().pixelSize(), frambul::ui::FormFont().pixelSize());
    QVERIFY(!(main.dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    frambul::ui::TComFrm com;
    QCOMPARE(com.minimumSize(), scaled(505, 104));
    frambul::ui::TAboutFrm about;
    auto* title = about.findChild<QLabel*>("Label5");
    QCOMPARE(title->font().pixelSize(), frambul::ui::FormFont(40).pixelSize());
    QCOMPARE(title->font().families().value(0), QString("Times New Roman"));
    frambul::ui::TLinksFrm links;
    QCOMPARE(links.findChild<QLabel*>("Label7")->font().pixelSize(), frambul::ui::FormFont(17).pixelSize());

    // Centred on the screen at every showing, wherever it was moved before.
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    for (int showing = 0; showing < 2; ++showing) {
      about.show();
      QVERIFY(QTest::qWaitForWindowExposed(&about));
      QVERIFY((about.frameGeometry().center() - centre).manhattanLength() <= 2);
      about.move(0, 0);
      about.hide();
    }

  }

  void textsFitTheirControls() {
    MainForm main;
    main.Show();
    frambul::ui::TAboutFrm about;
    frambul::ui::TLinksFrm links;
    frambul::ui::TComFrm com;
    QList<QWidget*> forms = {&about, &links, &com};
    for (QDialog* dialog : {static_cast<QDialog*>(&about), static_cast<QDialog*>(&links), static_cast<QDialog*>(&com)}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }
    for (int page = 0; page < main.ui.PageControl1->count(); ++page) {
      main.ui.PageControl1->setCurrentIndex(page);
      QCoreApplication::processEvents();
      CheckTextsFit(main.dialog);
      if (QTest::currentTestFailed()) {
        QFAIL(qPrintable("on page " + main.ui.PageControl1->currentWidget()->objectName()));
      }
    }
    for (QWidget* form : forms) {
      CheckTextsFit(*form);
      if (QTest::currentTestFailed()) {
        return;
      }
    }
  }

  void groupHintReachesControlsWithoutOne() {
    MainForm main;
    main.Show();
    main.ui.PageControl1->setCurrentWidget(main.ui.UsefulPage);
    for (QLabel* label : {main.ui.MinLbl, main.ui.Label13}) {
      QToolTip::hideText();
      const QPoint at = label->rect().center();
      QHelpEvent help(QEvent::ToolTip, at, label->mapToGlobal(at));
      QApplication::sendEvent(label, &help);
      QCOMPARE(QToolTip::text(), QString("Это Не Файл Подкачки"));
    }
  }

  void everyTabIsShownAndClickable() {
    MainForm main;
    main.Show();
    auto* bar = qobject_cast<TMultiRowTabBar*>(main.ui.PageControl1->tabBar());
    QVERIFY(bar != nullptr);
    for (QToolButton* scroll : bar->findChildren<QToolButton*>()) {
      QVERIFY(!scroll->isVisible());
    }
    for (int i = 0; i < bar->count(); ++i) {
      const QRect tab = bar->TabRect(i);
      QVERIFY(bar->rect().contains(tab));
      for (int j = 0; j < i; ++j) {
        QVERIFY(!tab.intersects(bar->TabRect(j)));
      }
      QTest::mouseClick(bar, Qt::LeftButton, {}, tab.center());
      QCOMPARE(main.ui.PageControl1->currentIndex(), i);
      // The current tab's row lies next to the page.
      QCOMPARE(bar->TabRect(i).bottom(), bar->rect().bottom());
    }

    // A narrow page control still shows every tab, in more rows.
    frambul::ui::TPageControl narrow;
    for (const char* caption : {"Мелочи", "Полезности", "Запуск Виндов", "Автозапуск"}) {
      narrow.addTab(new QWidget, QString::fromUtf8(caption));
    }
    narrow.resize(narrow.minimumSizeHint().width(), 200);
    narrow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&narrow));
    auto* narrowBar = qobject_cast<TMultiRowTabBar*>(narrow.tabBar());
    QVERIFY(narrowBar->height() >= 2 * bar->TabRect(0).height());
    for (int i = 0; i < narrowBar->count(); ++i) {
      QVERIFY(narrowBar->rect().contains(narrowBar->TabRect(i)));
    }
  }

  void startUpImagesAreATickAndAChevron() {
    const QImage tick = frambul::ui::StartUpImage(0).toImage();
    const QImage chevron = frambul::ui::StartUpImage(1).toImage();
    QCOMPARE(tick.size(), QSize(22, 18));
    QCOMPARE(chevron.size(), QSize(22, 18));
    QVERIFY(tick != chevron);
    QVERIFY(frambul::ui::StartUpImage(2).isNull());
  }
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
