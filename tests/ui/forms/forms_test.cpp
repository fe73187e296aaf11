// The Designer forms, dressed as the program dresses them and driven offscreen.

#include <QtTest>
#include <QtWidgets>

#include "dialogs.h"
#include "look.h"
#include "page_control.h"
#include "ui_TMainFrm.h"

using namespace frambul::ui;

// The pixels of an icon or a picture file, comparable whatever their format.
static QImage Pixels(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

class FormsTest : public QObject {
  Q_OBJECT

 public:
  // The main window's form, dressed at its client size as TMainFrm dresses it.
  FormsTest() {
    ui_.setupUi(&main_);
    DressForm(main_, {578, 372});
    main_.show();
  }

 private slots:
  // With the forms built, no image plugin is loaded and the dialogs have no form until asked for one (ComFrm
  // builds it when the caller asks for its edit); first, as later tests show the dialogs and write images.
  void nothingIsBuiltOrLoadedBeforeItIsNeeded() {
    QFile maps("/proc/self/maps");
    QVERIFY(maps.open(QIODevice::ReadOnly) && !maps.readAll().contains("/imageformats/"));
    QVERIFY(about_.findChildren<QWidget*>().isEmpty() && com_.findChildren<QWidget*>().isEmpty());
    QVERIFY(com_.Edit1() != nullptr && com_.findChild<QPushButton*>("BitBtn1") != nullptr && !com_.isVisible());
  }

  // Tab visits each page's controls in the window's own order, not the visual one, then the buttons. Enter
  // (either key) on a focused push button presses that button, which shows the default frame while it has
  // the focus; in any other control it presses OkBtn. Esc leaves AboutFrm and LinksFrm open, "Угу" and the
  // close box close them as "Угу"; ComFrm takes Enter and Esc.
  void keysMoveTheFocusAndPressTheRightButton() {
    for (QPushButton* button : {ui_.DelBtn, ui_.ComBtn}) button->setEnabled(true);  // as for a chosen entry
    main_.activateWindow();  // keys move the focus only in the active window
    QVERIFY(QTest::qWaitForWindowActive(&main_));
    QTabWidget* pages = ui_.PageControl1;
    const char* order[] = {
        "MenuShowDelayTrk RecycleEdt ShortCutChk TailNumChk PasswChk DblClckChk BMPChk",
        "MinCacheTrk MaxCacheTrk DefViewerEdt BitBtn6 WinInstEdt",
        "LogoChk NetworkChk AutoScanChk BootMultiChk BootWinChk BootGUIChk BootMenuChk BootDelayEdt BootKeysChk "
        "DblSpaceChk DoubleBufferChk",
        "AddBtn DelBtn ComBtn StartUpLvw", "MTUEdt RWINEdt TTLCbx BitBtn1", "UninstallLst BitBtn7"};
    for (int page = 0; page < 6; ++page) {
      pages->setCurrentIndex(page);
      pages->tabBar()->setFocus();
      QStringList walk;
      while (walk.size() < 30) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == pages->tabBar()) break;
        walk << QApplication::focusWidget()->objectName();
      }
      QCOMPARE(walk.join(' '), QString(order[page]) + " OkBtn BitBtn2 BitBtn3 BitBtn4 BitBtn5");
    }
    const auto focusOn = [pages](QWidget* control) {
      for (int page = 0; page < pages->count(); ++page) {
        if (pages->widget(page)->isAncestorOf(control)) pages->setCurrentIndex(page);
      }
      control->setFocus(Qt::TabFocusReason);
      return QApplication::focusWidget() == control;
    };
    QSignalSpy ok(ui_.OkBtn, &QPushButton::clicked);
    for (QPushButton* button : {ui_.BitBtn2, ui_.BitBtn6, ui_.AddBtn}) {  // below the pages, and on two of them
      QSignalSpy pressed(button, &QPushButton::clicked);
      QVERIFY2(focusOn(button) && button->isDefault() && !ui_.OkBtn->isDefault(), qPrintable(button->objectName()));
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(button, key);
      QVERIFY2(pressed.count() == 2 && ok.isEmpty(), qPrintable(button->objectName()));
    }
    const QList<QWidget*> others = {ui_.ShortCutChk, ui_.RecycleEdt,  ui_.MenuShowDelayTrk, ui_.TTLCbx,
                                    ui_.StartUpLvw,  ui_.UninstallLst, pages->tabBar()};
    for (QWidget* control : others) {
      QVERIFY2(focusOn(control) && ui_.OkBtn->isDefault(), qPrintable(control->objectName()));
      const qsizetype before = ok.count();
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(control, key);
      QVERIFY2(ok.count() == before + 2, qPrintable(control->objectName()));
    }
    for (QDialog* dialog : std::initializer_list<QDialog*>{&about_, &links_}) {
      QSignalSpy accepted(dialog, &QDialog::accepted);
      dialog->show();
      QTest::keyClick(dialog, Qt::Key_Escape);
      QVERIFY(dialog->isVisible());
      dialog->close();  // the close box
      dialog->show();
      QTest::mouseClick(dialog->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
      QCOMPARE(std::pair(dialog->isVisible(), int(accepted.count())), std::pair(false, 2));
    }
    for (auto [key, result] :
         {std::pair(Qt::Key_Escape, QDialog::Rejected), std::pair(Qt::Key_Return, QDialog::Accepted)}) {
      com_.show();
      QTest::keyClick(com_.Edit1(), key);
      QCOMPARE(std::pair(com_.isVisible(), com_.result()), std::pair(false, int(result)));
    }
  }

  // Every control that takes the focus has an accessible name, none copied (tabs are named by their captions).
  void focusableControlsHaveAccessibleNames() {
    for (QWidget* form : std::initializer_list<QWidget*>{&main_, &about_, &links_, &com_}) {
      if (form != &main_) {  // a dialog builds its form when first shown
        form->show();
        form->hide();
      }
      QSet<QString> names;
      for (QWidget* widget : form->findChildren<QWidget*>(QRegularExpression("^(?!qt_)."))) {
        if (widget == ui_.PageControl1 || (widget->focusPolicy() & Qt::TabFocus) == 0) continue;
        const QString name = widget->accessibleName();
        QVERIFY2(!name.isEmpty() && !names.contains(name), qPrintable(widget->objectName()));
        names << name;
      }
    }
  }

  // Hovering over MinLbl or Label13, which have no hint, shows that of GroupBox1.
  void groupHintReachesControlsWithoutOne() {
    ui_.PageControl1->setCurrentWidget(ui_.UsefulPage);
    for (QLabel* label : {ui_.MinLbl, ui_.Label13}) {
      QToolTip::hideText();
      QHelpEvent hover(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
      QApplication::sendEvent(label, &hover);
      QCOMPARE(QToolTip::text(), QString("Это Не Файл Подкачки"));
    }
  }

  // All six tabs are shown in two rows, without scroll buttons, and each is clicked where it is drawn,
  // which gives the tabs the focus; the row of the current tab lies next to the page. Accessibility tools
  // are told the same places, find each tab there by its caption, and can press it.
  void everyTabIsShownAndClickable() {
    auto* bar = qobject_cast<TMultiRowTabBar*>(ui_.PageControl1->tabBar());
    QVERIFY(bar != nullptr && bar->count() == 6 && bar->height() >= 2 * bar->TabRect(0).height());
    for (QToolButton* scroll : bar->findChildren<QToolButton*>()) QVERIFY(!scroll->isVisible());
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(bar);
    QCOMPARE(std::pair(tabs->role(), tabs->childCount()), std::pair(QAccessible::PageTabList, 6));
    for (int i = 0; i < bar->count(); ++i) {
      (i % 2 == 0 ? static_cast<QWidget*>(ui_.ShortCutChk) : ui_.OkBtn)->setFocus();  // in a page, or outside
      const QRect tab = bar->TabRect(i);
      QVERIFY(bar->rect().contains(tab));
      QTest::mouseClick(bar, Qt::LeftButton, {}, tab.center());
      QCOMPARE(std::pair(ui_.PageControl1->currentIndex(), main_.focusWidget()), std::pair(i, (QWidget*)bar));
      QCOMPARE(bar->TabRect(i).bottom(), bar->rect().bottom());
      for (int j = 0; j < bar->count(); ++j) {
        const QRect drawn(bar->mapToGlobal(bar->TabRect(j).topLeft()), bar->TabRect(j).size());
        QAccessibleInterface* told = tabs->child(j);
        QCOMPARE(std::tuple(told->rect(), told->text(QAccessible::Name), tabs->indexOfChild(told),
                            tabs->childAt(drawn.center().x(), drawn.center().y()), bool(told->state().selected)),
                 std::tuple(drawn, bar->tabText(j), j, told, i == j));
      }
    }
    tabs->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(ui_.PageControl1->currentIndex(), 2);
  }

  // Every picture the forms show is the program's own, compiled in, also on a desktop whose icon theme has
  // pictures under the names the styles look up: each button that names a picture shows the one drawn for
  // it, and every form's icon is the program's at its four sizes, each the picture installed for the desktop.
  void formsShowTheProgramsOwnPictures() {
    QTemporaryDir themes;
    QDir theme(themes.path() + "/colour");
    QFile index(theme.filePath("index.theme"));
    QVERIFY(theme.mkpath("16x16/actions") && index.open(QIODevice::WriteOnly) &&
            index.write("[Icon Theme]\nName=colour\nDirectories=16x16/actions\n[16x16/actions]\nSize=16\n") > 0);
    index.close();
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    for (const char* name : {"dialog-ok-apply", "dialog-cancel", "dialog-question", "dialog-information",
                             "network-workgroup", "document-open", "text-x-generic", "edit-delete",
                             "view-list-details", "dialog-ok", "user-trash", "folder-remote"}) {
      QVERIFY(red.save(theme.filePath(QString("16x16/actions/%1.png").arg(name))));
    }
    const auto restore = qScopeGuard([paths = QIcon::themeSearchPaths(), name = QIcon::themeName()] {
      QIcon::setThemeName(name);
      QIcon::setThemeSearchPaths(paths);
    });
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName("colour");
    QVERIFY(!QIcon::fromTheme("dialog-ok-apply").isNull());

    QDialog main;
    Ui::TMainFrm ui;
    ui.setupUi(&main);
    DressForm(main, {578, 372});
    TAboutFrm about;
    TLinksFrm links;
    TComFrm com;
    QStringList named;
    for (QDialog* form : std::initializer_list<QDialog*>{&main, &about, &links, &com}) {
      form->show();
      QCOMPARE(form->windowIcon().availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {256, 256}}));
      for (const QSize size : form->windowIcon().availableSizes()) {
        const QImage installed(QString(FRAMBUL_SOURCE_DIR "/src/ui/icons/frambul-%1.png").arg(size.width()));
        QVERIFY(!installed.isNull() && Pixels(form->windowIcon().pixmap(size).toImage()) == Pixels(installed));
      }
      for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        const QString picture = button->property("picture").toString();
        if (picture.isEmpty()) continue;
        named << picture;
        const QImage own(":/pictures/" + picture + ".png");
        QVERIFY2(!own.isNull() && button->iconSize() == QSize(16, 16), qPrintable(picture));
        QCOMPARE(Pixels(button->icon().pixmap(16, 16).toImage()), Pixels(own));
      }
      form->hide();
    }
    QCOMPARE(named.size(), 15);
  }

  // The form font and the serif face of "Фрамбуль Над Windows" are the faces Qt itself picks from the
  // whole lists of look-alikes.
  void formFontsAreTheFirstInstalledLookAlikes() {
    QFont sans;
    sans.setFamilies(
        {"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans", "Nimbus Sans", "DejaVu Sans"});
    sans.setStyleHint(QFont::SansSerif);
    sans.setPixelSize(FormFont().pixelSize());
    QCOMPARE(QFontInfo(FormFont()).family(), QFontInfo(sans).family());
    TAboutFrm about;
    about.show();
    QFont serif = about.findChild<QLabel*>("Label5")->font();
    const QString title = QFontInfo(serif).family();
    serif.setFamilies({"Times New Roman", "Liberation Serif", "Nimbus Roman", "DejaVu Serif"});
    QCOMPARE(title, QFontInfo(serif).family());
  }

  // At the screen's scale the window shows every text whole on every page, and so do the dialogs, each
  // at its size and centred at each showing, the same form every time: labels and buttons get their full
  // width, wrapped labels all their lines; Label7 shows the names on one line.
  void dressedFormsShowWholeTextsAndDialogsAreCentred() {
    const auto checkTextsFit = [](QWidget& form, const QString& where) {
      for (QWidget* widget : form.findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(widget);
        const QByteArray name = (where + ": " + widget->objectName()).toUtf8();
        if (!widget->isVisible()) continue;
        if (label != nullptr && label->wordWrap()) {
          QVERIFY2(label->height() >= label->heightForWidth(label->width()), name);
        } else if (label != nullptr || qobject_cast<QAbstractButton*>(widget) != nullptr) {
          const QSize least(widget->sizeHint().width(), widget->minimumSizeHint().height());
          QVERIFY2(widget->width() >= least.width() && widget->height() >= least.height(), name);
        }
      }
    };
    for (int page = 0; page < ui_.PageControl1->count(); ++page) {
      ui_.PageControl1->setCurrentIndex(page);
      checkTextsFit(main_, ui_.PageControl1->currentWidget()->objectName());
    }
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    const QList<QWidget*> built = about_.findChildren<QWidget*>();
    for (QDialog* dialog : std::initializer_list<QDialog*>{&about_, &links_, &com_, &about_}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      QVERIFY((dialog->frameGeometry().center() - centre).manhattanLength() <= 2);
      QCOMPARE(dialog->size(), dialog->minimumSize());
      checkTextsFit(*dialog, dialog->objectName());
      dialog->move(0, 0);
      dialog->hide();
    }
    QCOMPARE(about_.findChildren<QWidget*>(), built);
    const auto* names = links_.findChild<QLabel*>("Label7");
    QVERIFY(names->height() < 2 * names->fontMetrics().lineSpacing());
  }

  // The texts easiest to mistype (quotes, tildes, symbols); the slider ranges the settings rely on.
  void trickyTextsAndSliderRanges() {
    QCOMPARE(QStringList({ui_.TailNumChk->toolTip(), ui_.GroupBox2->title(), ui_.Label6->text()}),
             QStringList({"В ДОС-Версиях Длинных Имен Окончание \"~1\" (Спасибо: Игнат Буров)",
                          "\"Открывалка Неоткрываемого\"", "Обычно Равно (MTU-40)*4"}));
    QList<int> ranges;  // minimum, maximum, position, line step, page step of each slider
    for (QSlider* slider : {ui_.MenuShowDelayTrk, ui_.MinCacheTrk, ui_.MaxCacheTrk}) {
      ranges << slider->minimum() << slider->maximum() << slider->value() << slider->singleStep() << slider->pageStep();
    }
    QCOMPARE(ranges, QList<int>({0, 1000, 400, 10, 100, 0, 64, 0, 1, 1, 0, 64, 0, 1, 2}));
  }

 private:
  bool classic_ = (ApplyClassicLook(*qApp), true);  // before any form is built, as in the program
  QDialog main_;
  Ui::TMainFrm ui_;
  TAboutFrm about_;
  TLinksFrm links_;
  TComFrm com_;
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
