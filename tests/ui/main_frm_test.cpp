// Drives the real main window offscreen on a copy of the sample machine with mouse
// and key events, then the files on disk; the engine test covers each setting.

#include "main_frm.h"

#include <sys/stat.h>

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <string>

#include "dialogs.h"
#include "engine/store/files.h"
#include "error_display.h"
#include "page_control.h"
#include "program.h"
#include "support/temp_prefix.h"
#include "support/window_session.h"

using frambul::engine::BootChanged;
using frambul::engine::TweaksChanged;
using frambul::test::ReadFile;
namespace ui = frambul::ui;

using Session = frambul::test::WindowSession;

class MainFrmTest : public QObject {
  Q_OBJECT

 private slots:
  // After a click Enter presses OK, which writes the tweaks group and hides the
  // boot file; Esc presses Cancel, which writes nothing and makes it read-only.
  // The close box writes nothing, here after a load ended by an error, which is
  // shown, leaves every control it did not reach disabled, and whose clean-up
  // before the error reaches the disk.
  void enterEscAndCloseBox() {
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape), 0}) {
      Session s(key ? "" : R"(@="C:\\WINDOWS\\PBRUSH.EXE,1")", "@=dword:00000001\n\"BackUp\"=\"x\"");
      QCOMPARE(s.errors, key ? QStringList() : QStringList{"Invalid data type for ''"});
      // Controls the load never reached cannot be changed, nor the startup list.
      for (const char* name : {"MenuShowDelayTrk", "WinInstEdt", "MinCacheTrk", "MTUEdt", "TTLCbx", "UninstallLst",
                               "LogoChk", "BootDelayEdt", "Startup"})
        QVERIFY2(s.find<QWidget>(name)->isEnabled() == (key != 0), name);
      const std::string reg = s.systemReg(), boot = s.bootFile();
      s.click("ShortCutChk");
      if (key)
        QTest::keyClick(s.find<QLineEdit>("RecycleEdt"), Qt::Key(key));
      else
        s.frm->close();
      QVERIFY(!s.frm->isVisible());
      QCOMPARE(s.systemReg() == reg, key != Qt::Key_Return);
      QCOMPARE(s.inSystemReg("\"NameNumericTail\""), key != Qt::Key_Return);
      QVERIFY(!s.inSystemReg("\"BackUp\""));
      QCOMPARE(s.bootFile(), boot);
      QCOMPARE(s.bootAttributes(), key == Qt::Key_Return ? 6 : key ? 7 : 4);
    }
  }

  // A check box's mark toggles on each change by mouse or keyboard, so two
  // clicks cancel out; a right click or a release outside changes nothing.
  // An edit is marked by a key release in it, even of the Tab that brought
  // the focus, and by a change of its text without keys (a paste).
  void userChangesMarkTheirControls() {
    Session s;
    const frambul::engine::MainForm& state = s.frm->State();
    auto* box = s.find<QCheckBox>("ShortCutChk");
    s.click("ShortCutChk");
    s.click("ShortCutChk");
    QTest::mouseClick(box, Qt::RightButton);
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(6, 8));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(-50, -50));
    QVERIFY(box->isChecked() && !TweaksChanged(state));
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(!box->isChecked() && state.ShortCutChk.Tag == 1);
    QTest::keyClick(s.find<QLineEdit>("RecycleEdt"), Qt::Key_Tab);
    s.find<QLineEdit>("WinInstEdt")->insert("E:\\");  // what a paste through the context menu does
    QVERIFY(state.RecycleEdt.Tag == 1 && state.WinInstEdt.Tag == 1 && state.WinInstEdt.Text == "D:\\WIN98\\E:\\");
  }

  // "Загружать Другую ОС" is enabled while "Разрешить Загрузку" is checked. A
  // registry that cannot be written: the error shown once, with its full stop,
  // not again on a later click; the window and boot file stay open. What the
  // failed OK wrote stays written: a second OK writes it and the later changes,
  // Cancel carries it to the disk, and closes the window even while the disk
  // still refuses it.
  void aFailedOkKeepsTheWindowOpenAndItsWrites() {
    for (int ending : {0, 1, 2}) {  // a second OK; Cancel; Cancel while the disk still refuses
      Session s;
      s.click("ShortCutChk");
      s.page("BootPage");
      s.click("BootMultiChk");
      QVERIFY(!s.find<QCheckBox>("BootWinChk")->isEnabled());
      s.click("LogoChk");
      chmod(s.file("system.reg").c_str(), 0444);
      s.click("OkBtn");
      s.click("NetworkChk");
      QCOMPARE(s.errors, QStringList{QString::fromStdString("Не удалось записать файл реестра «" +
                                                            s.file("system.reg") + "»: нет прав на запись.")});
      QVERIFY(s.frm->isVisible());
      QCOMPARE(s.bootAttributes(), 4);
      if (ending < 2) chmod(s.file("system.reg").c_str(), 0644);
      s.click(ending ? "BitBtn2" : "OkBtn");
      QVERIFY(!s.frm->isVisible());
      QCOMPARE(s.errors.size(), ending < 2 ? 1 : 2);
      QCOMPARE(s.inSystemReg("\"IsShortcut\""), ending == 2);
      QCOMPARE(s.bootFile().find("Logo=") == std::string::npos, ending < 2);
      QCOMPARE(s.bootFile().find("Network=1") != std::string::npos, ending == 0);
      QCOMPARE(s.bootAttributes(), ending ? 7 : 6);
    }
  }

  // F1 asks for the topics once, on release, whatever the shift state, but
  // not from "Автор" or "Ссылки", which show the same dialog each time.
  // "Справка" jumps to the page in front, unless the help file fails.
  void helpAndInformationDialogs() {
    Session s;
    std::unique_ptr<ui::TAboutFrm> about(ui::AboutFrm = new ui::TAboutFrm());
    std::unique_ptr<ui::TLinksFrm> links(ui::LinksFrm = new ui::TLinksFrm());
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_F1);
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
    QList<QWidget*> shown;
    for (const char* button : {"BitBtn4", "BitBtn4", "BitBtn5"}) {
      QTimer::singleShot(0, [&] {
        shown.push_back(QApplication::activeModalWidget());
        QTest::keyClick(shown.back(), Qt::Key_F1);
        QTest::keyClick(shown.back(), Qt::Key_Return);
      });
      s.click(button);
    }
    QCOMPARE(shown, (QList<QWidget*>{about.get(), about.get(), links.get()}));
    s.page("Startup");
    s.click("BitBtn3");
    s.helpWorks = false;
    s.click("BitBtn3");
    // HELP_FINDER 11, HELP_CONTENTS 3, HELP_COMMAND 258.
    QCOMPARE(s.helpCalls, (QStringList{"11 ", "3 ", R"(258 JumpID("","Startup"))", "3 "}));
  }

  // The window is a top-level window with a task-bar entry of its own, a title, a system menu and a close
  // box only; the dialogs stay dialogs. OpenPrgDlg is made when a program is first chosen, not with the
  // window, and opens on drive C:; "Обзор" puts the chosen program's Windows path and "%1" in the edit,
  // marked. The dialog is kept: the next choice, from the other page, opens it on the file chosen last.
  // Cancelling it, then closing the window, leave Qt's settings file unwritten, and none can be made.
  void ownWindowAndAFileDialogMadeAtItsFirstUse() {
    {
      Session s;
      const Qt::WindowFlags flags = s.frm->windowFlags();
      QCOMPARE(std::pair(s.frm->windowType(), ui::TAboutFrm().windowType()), std::pair(Qt::Window, Qt::Dialog));
      QVERIFY(flags.testFlags(Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint));
      QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
      QVERIFY(s.frm->OpenPrgDlg == nullptr && s.frm->findChildren<QFileDialog*>().isEmpty());
      QList<QWidget*> shown;
      QStringList selected;
      for (const char* page : {"UsefulPage", "Startup"}) {
        QTimer::singleShot(0, [&] {
          auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
          shown << dialog;
          selected << QFileInfo(dialog->selectedFiles().value(0)).fileName();
          dialog->selectFile(QString::fromStdString(s.file("drive_c/WINDOWS/VIEW.EXE")));
          QMetaObject::invokeMethod(dialog, shown.size() == 1 ? "accept" : "reject");
        });
        s.page(page);
        s.click(page == std::string("Startup") ? "AddBtn" : "BitBtn6");
      }
      QCOMPARE(shown, (QList<QWidget*>{s.frm->OpenPrgDlg, s.frm->OpenPrgDlg}));
      QCOMPARE(shown[0]->windowTitle(), QString("Выбор Программы"));
      QCOMPARE(selected, (QStringList{"c:", "VIEW.EXE"}));
      QCOMPARE(s.find<QLineEdit>("DefViewerEdt")->text(), QString(R"(C:\WINDOWS\VIEW.EXE "%1")"));
      QVERIFY(s.frm->State().DefViewerEdt.Tag == 1);
      s.frm->close();
    }
    const QSettings qt(QSettings::UserScope, "QtProject");
    QVERIFY2(!QFileInfo::exists(qt.fileName()) && !qt.isWritable(), qPrintable(qt.fileName()));
  }

  // Enter in the startup list's in-place editor ends the rename there; it does not press OK. A change of
  // page by the user (a click on a tab where it is drawn, Ctrl+Tab, Ctrl+Shift+Tab) leaves the focus on the
  // tabs, so looking at "Полезности" marks nothing. A cache slider is marked by the user's own click or Tab
  // into it.
  void pageChangesLeaveTheFocusOnTheTabs() {
    // The release reaches the control that has the focus by then, as a real key's does.
    const auto key = [](Qt::Key code, Qt::KeyboardModifiers shift = {}) {
      QTest::keyPress(QApplication::focusWidget(), code, shift);
      QTest::keyRelease(QApplication::focusWidget(), code, shift);
    };
    Session s;
    s.frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.frm.get()));
    s.page("Startup");
    auto* list = s.find<QAbstractItemView>("StartUpLvw");
    list->setFocus();
    list->edit(list->model()->index(0, 0));
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor != list && list->isAncestorOf(editor));
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(s.frm->isVisible() && QTest::qWaitFor([list] { return QApplication::focusWidget() == list; }));

    const frambul::engine::MainForm& state = s.frm->State();
    auto* pages = s.find<QTabWidget>("PageControl1");
    auto* tabs = static_cast<ui::TMultiRowTabBar*>(pages->tabBar());
    const auto inFront = [&](int page) { return pages->currentIndex() == page && QApplication::focusWidget() == tabs; };
    s.page("MiscPage");
    s.click("ShortCutChk");
    s.click("ShortCutChk");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->TabRect(1).center());
    QVERIFY(inFront(1));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->TabRect(0).center());
    s.click("BMPChk");
    s.click("BMPChk");
    key(Qt::Key_Tab, Qt::ControlModifier);
    QVERIFY(inFront(1));
    s.click("WinInstEdt");
    key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(inFront(0));
    key(Qt::Key_Tab, Qt::ControlModifier);
    QVERIFY(inFront(1) && !TweaksChanged(state));
    s.click("MinCacheTrk");
    QVERIFY(state.MinCacheTrk.Tag == 1 && state.MaxCacheTrk.Tag == 0);
    key(Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() == s.find<QWidget>("MaxCacheTrk") && state.MaxCacheTrk.Tag == 1);
  }

  // The error box: the program's title, an error icon, one button, and a full
  // stop only after a character beyond ".".
  void errorBox() {
    QString shown;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      shown = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->icon()) + "|" +
              QString::number(box->buttons().size());
      box->accept();
    });
    ui::ShowError(nullptr, "Unable to write to C:\\WIN.INI");
    QCOMPARE(shown, QString("Фрамбуль Над Windows|Unable to write to C:\\WIN.INI.|%1|1").arg(QMessageBox::Critical));
    QCOMPARE(ui::WithFullStop("Failed to set data for 'x'"), QString("Failed to set data for 'x'"));
  }
};

QTEST_MAIN(MainFrmTest)
#include "main_frm_test.moc"
