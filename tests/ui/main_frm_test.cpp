// Drives the real main window offscreen on a copy of the sample machine:
// real mouse and key events, OK and Cancel, then the files on disk.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "dialogs.h"
#include "engine/store/files.h"
#include "engine/store/machine.h"
#include "error_display.h"
#include "help/win_help.h"
#include "look.h"
#include "main_frm.h"
#include "program.h"
#include "support/temp_prefix.h"

using frambul::store::GetAttributes;
using frambul::test::ReadFile;
using frambul::test::WriteFile;
using frambul::ui::TMainFrm;

namespace {

// Replaces the first occurrence of `from` in a file, which must hold it.
void Edit(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = ReadFile(path);
  size_t at = text.find(from);
  QVERIFY2(at != std::string::npos, from.c_str());
  text.replace(at, from.size(), to);
  WriteFile(path, text);
}

// A copy of the sample machine in a fresh folder, and the window open on it.
struct Session {
  std::string dir;
  std::string prefix;
  std::unique_ptr<frambul::store::Machine> machine;
  std::unique_ptr<TMainFrm> frm;
  std::vector<std::pair<unsigned, QString>> helpCalls;
  bool helpWorks = true;
  QStringList errors;

  explicit Session(const std::function<void(Session&)>& prepare = {}) {
    char pattern[] = "/tmp/frambul-ui-XXXXXX";
    dir = mkdtemp(pattern);
    prefix = dir + "/prefix";
    std::string copy = std::string(FRAMBUL_SOURCE_DIR "/scripts/make-sample-prefix.sh ") + prefix + " >/dev/null";
    if (std::system(copy.c_str()) != 0) qFatal("cannot copy the sample machine");
    if (prepare) prepare(*this);
    machine = std::make_unique<frambul::store::Machine>(prefix);
    frm = std::make_unique<TMainFrm>(
        *machine,
        [this](QWidget*, const QString&, unsigned command, const QString& data) {
          helpCalls.emplace_back(command, data);
          return helpWorks;
        },
        [this](QWidget*, const QString& message) { errors << frambul::ui::WithFullStop(message); });
    frm->show();
    QApplication::setActiveWindow(frm.get());
    if (!QTest::qWaitForWindowExposed(frm.get())) qFatal("window not shown");
  }
  ~Session() {
    frm.reset();
    machine.reset();
    std::system(("rm -rf '" + dir + "'").c_str());
  }

  std::string file(const std::string& relative) const { return prefix + "/" + relative; }
  std::string systemReg() const { return ReadFile(file("system.reg")); }
  std::string userReg() const { return ReadFile(file("user.reg")); }
  std::string bootFile() const { return ReadFile(file("drive_c/MSDOS.SYS")); }
  // Read-only, hidden, system and archive; Wine reports archive for every file.
  int bootAttributes() const { return GetAttributes(*machine, "C:\\MSDOS.SYS") & ~frambul::store::faArchive; }

  template <class T>
  T* find(const char* name) const {
    T* widget = frm->findChild<T*>(name);
    if (!widget) qFatal("no control %s", name);
    return widget;
  }
  void page(const char* name) const {
    auto* pages = find<QTabWidget>("PageControl1");
    pages->setCurrentWidget(find<QWidget>(name));
  }
  // A click where a person clicks: on a check box's square, a button's middle.
  void click(const char* name) const {
    auto* button = find<QAbstractButton>(name);
    QPoint at = qobject_cast<QCheckBox*>(button) ? QPoint(6, button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
  }
  void ok() const { click("OkBtn"); }
  void cancel() const { click("BitBtn2"); }
};

}  // namespace

class MainFrmTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    frambul::ui::ApplyClassicLook(*qApp);
    frambul::ui::AboutFrm = new frambul::ui::TAboutFrm();
    frambul::ui::LinksFrm = new frambul::ui::TLinksFrm();
  }
  void cleanupTestCase() {
    delete frambul::ui::AboutFrm;
    delete frambul::ui::LinksFrm;
  }

  // The load shows what the sample machine holds, and opens the boot file up.
  void loadShowsTheMachine() {
    Session s;
    QVERIFY(s.errors.isEmpty());
    QCOMPARE(s.find<QCheckBox>("ShortCutChk")->isChecked(), true);
    QCOMPARE(s.find<QCheckBox>("BMPChk")->isChecked(), false);
    QCOMPARE(s.find<QLineEdit>("RecycleEdt")->text(), QString("Корзина"));
    QCOMPARE(s.find<QLineEdit>("DefViewerEdt")->text(), QString("C:\\WINDOWS\\NOTEPAD.EXE \"%1\""));
    QCOMPARE(s.find<QSlider>("MenuShowDelayTrk")->value(), 400);
    QCOMPARE(s.find<QLineEdit>("WinInstEdt")->text(), QString("D:\\WIN98\\"));
    QCOMPARE(s.find<QCheckBox>("LogoChk")->isChecked(), true);
    QCOMPARE(s.find<QCheckBox>("BootMultiChk")->isChecked(), true);
    QCOMPARE(s.find<QCheckBox>("BootWinChk")->isEnabled(), true);
    QCOMPARE(s.find<QCheckBox>("DblSpaceChk")->isChecked(), true);
    QCOMPARE(s.find<QLineEdit>("BootDelayEdt")->text(), QString("0"));
    QCOMPARE(s.find<QTabWidget>("PageControl1")->currentWidget()->objectName(), QString("MiscPage"));
    QCOMPARE(s.bootAttributes(), int(frambul::store::faSysFile));
    QVERIFY(!frambul::engine::TweaksChanged(s.frm->State()));
    QVERIFY(!frambul::engine::BootChanged(s.frm->State()));
  }

  // One mouse click on "Стрелки Ярлыков" and OK: the tweaks group is written,
  // the boot file is not, and ends hidden + system.
  void okWritesTheTouchedGroupOnly() {
    Session s;
    std::string boot = s.bootFile();
    s.click("ShortCutChk");
    QVERIFY(!s.find<QCheckBox>("ShortCutChk")->isChecked());
    s.ok();
    QVERIFY(s.errors.isEmpty());
    QVERIFY(!s.frm->isVisible());
    QCOMPARE(s.frm->result(), 1);
    std::string reg = s.systemReg();
    QVERIFY(reg.find("\"IsShortcut\"") == std::string::npos);
    QVERIFY(reg.find("\"SourcePath\"=\"D:\\\\WIN98\\\\\"") != std::string::npos);
    QVERIFY(s.userReg().find("\"MenuShowDelay\"=\"400\"") != std::string::npos);
    QCOMPARE(s.bootFile(), boot);
    QCOMPARE(s.bootAttributes(), 6);
  }

  // Cancel writes nothing of either group; the close box writes nothing and
  // leaves the boot file as the load left it.
  void cancelAndCloseBoxWriteNothing() {
    {
      Session s;
      std::string reg = s.systemReg(), user = s.userReg(), boot = s.bootFile();
      s.click("ShortCutChk");
      s.page("BootPage");
      s.click("LogoChk");
      s.cancel();
      QVERIFY(!s.frm->isVisible());
      QCOMPARE(s.frm->result(), 2);
      QCOMPARE(s.systemReg(), reg);
      QCOMPARE(s.userReg(), user);
      QCOMPARE(s.bootFile(), boot);
      QCOMPARE(s.bootAttributes(), 7);
    }
    {
      Session s;
      std::string reg = s.systemReg(), boot = s.bootFile();
      s.click("ShortCutChk");
      s.frm->close();
      QVERIFY(!s.frm->isVisible());
      QCOMPARE(s.systemReg(), reg);
      QCOMPARE(s.bootFile(), boot);
      QCOMPARE(s.bootAttributes(), int(frambul::store::faSysFile));
    }
  }

  // Marks: two clicks cancel out; Space toggles like the mouse; a right
  // click changes nothing; a release outside the box changes nothing.
  void checkBoxMarksFollowTheUsersChanges() {
    Session s;
    std::string reg = s.systemReg();
    auto* box = s.find<QCheckBox>("ShortCutChk");
    s.click("ShortCutChk");
    s.click("ShortCutChk");
    QTest::mouseClick(box, Qt::RightButton);
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(-50, -50));
    QVERIFY(box->isChecked());
    QVERIFY(!frambul::engine::TweaksChanged(s.frm->State()));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(!box->isChecked());
    QVERIFY(frambul::engine::TweaksChanged(s.frm->State()));
    s.ok();
    QVERIFY(s.systemReg().find("\"IsShortcut\"") == std::string::npos);
  }

  // Edits are marked by a key release and by a change of text without keys
  // (a paste through the context menu); OK then writes them.
  void editMarks() {
    {
      Session s;
      auto* edit = s.find<QLineEdit>("RecycleEdt");
      edit->setFocus();
      QTest::keyClick(edit, Qt::Key_Tab);
      QVERIFY(frambul::engine::TweaksChanged(s.frm->State()));
    }
    {
      Session s;
      auto* edit = s.find<QLineEdit>("RecycleEdt");
      edit->selectAll();
      edit->insert("Мусор");  // what a paste through the context menu does
      QVERIFY(frambul::engine::TweaksChanged(s.frm->State()));
      s.ok();
      QVERIFY(s.systemReg().find("@=\"\\x41c\\x443\\x441\\x43e\\x440\"") != std::string::npos);
    }
  }

  // The boot page: BootWinChk follows BootMultiChk; OK writes every switch
  // from its box, only the boot group, in the file's own line endings.
  void bootPage() {
    Session s;
    std::string reg = s.systemReg();
    s.page("BootPage");
    auto* other = s.find<QCheckBox>("BootWinChk");
    s.click("BootMultiChk");
    QVERIFY(!other->isEnabled());
    s.click("BootMultiChk");
    QVERIFY(other->isEnabled());
    s.click("BootWinChk");
    s.click("BootKeysChk");
    auto* delay = s.find<QLineEdit>("BootDelayEdt");
    delay->setFocus();
    delay->selectAll();
    QTest::keyClicks(delay, "2");
    s.ok();
    QVERIFY(s.errors.isEmpty());
    std::string boot = s.bootFile();
    // Unchecked boxes remove their keys; new keys join the end of the section.
    QVERIFY(boot.find("[Options]\r\nBootMulti=1\r\nWinVer=4.10.2222\r\nLogo=0\r\n"
                      "DblSpace=0\r\nDrvSpace=0\r\nBootWin=0\r\nBootKeys=0\r\n;") != std::string::npos);
    QCOMPARE(s.systemReg(), reg);
    QCOMPARE(s.bootAttributes(), 6);
  }

  // F1 anywhere in the window asks for the topics dialog once, on release;
  // "Справка" jumps to the page in front; no macro when the file fails.
  void help() {
    Session s;
    auto* edit = s.find<QLineEdit>("RecycleEdt");
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyPress(edit, Qt::Key_F1);
    QTest::keyRelease(edit, Qt::Key_F1, Qt::ShiftModifier);
    QCOMPARE(s.helpCalls.size(), size_t(1));
    QCOMPARE(s.helpCalls[0].first, frambul::ui::HELP_FINDER);
    s.helpCalls.clear();
    s.page("Startup");
    s.click("BitBtn3");
    QCOMPARE(s.helpCalls.size(), size_t(2));
    QCOMPARE(s.helpCalls[0].first, frambul::ui::HELP_CONTENTS);
    QCOMPARE(s.helpCalls[1].first, frambul::ui::HELP_COMMAND);
    QCOMPARE(s.helpCalls[1].second, QString("JumpID(\"\",\"Startup\")"));
    s.helpCalls.clear();
    s.helpWorks = false;
    s.click("BitBtn3");
    QCOMPARE(s.helpCalls.size(), size_t(1));
  }

  // An unguarded read that fails ends the load: the error is shown, the
  // controls after it keep their design-time values, and OK leaves their
  // settings alone.
  void failedLoadWritesNothingItDidNotLoad() {
    Session s([](Session& session) {
      Edit(session.file("system.reg"), "@=\"\\x41a\\x43e\\x440\\x437\\x438\\x43d\\x430\"", "@=dword:00000001");
    });
    QCOMPARE(s.errors, QStringList{"Invalid data type for ''"});
    QCOMPARE(s.find<QLineEdit>("DefViewerEdt")->text(), QString());
    QCOMPARE(s.find<QCheckBox>("LogoChk")->isChecked(), false);
    std::string boot = s.bootFile();
    s.click("ShortCutChk");
    s.page("BootPage");
    s.click("LogoChk");
    s.ok();
    std::string reg = s.systemReg();
    QVERIFY(reg.find("[Software\\\\Classes\\\\*\\\\Shell\\\\1DE\\\\Command]") != std::string::npos);
    QVERIFY(reg.find("\"SourcePath\"=\"D:\\\\WIN98\\\\\"") != std::string::npos);
    QVERIFY(reg.find("\"IsShortcut\"") == std::string::npos);
    QCOMPARE(s.bootFile(), boot);
  }

  // A registry file that cannot be written: the error box names it with a
  // full stop, the window stays open, and the boot file stays open to edits.
  void failedApplyKeepsTheWindowOpen() {
    Session s;
    s.click("ShortCutChk");
    chmod(s.file("system.reg").c_str(), 0444);
    s.ok();
    QCOMPARE(s.errors.size(), 1);
    QVERIFY2(s.errors[0].startsWith("Unable to write to ") && s.errors[0].endsWith("system.reg."),
             qPrintable(s.errors[0]));
    QVERIFY(s.frm->isVisible());
    QCOMPARE(s.bootAttributes(), int(frambul::store::faSysFile));
    chmod(s.file("system.reg").c_str(), 0644);
    s.ok();
    QVERIFY(!s.frm->isVisible());
    QVERIFY(s.systemReg().find("\"IsShortcut\"") == std::string::npos);
  }

  // Enter presses OK from any control that does not use it; Esc presses
  // "Отмена".
  void enterAndEsc() {
    {
      Session s;
      auto* edit = s.find<QLineEdit>("RecycleEdt");
      edit->setFocus();
      QTest::keyClick(edit, Qt::Key_Return);
      QVERIFY(!s.frm->isVisible());
      QCOMPARE(s.frm->result(), 1);
    }
    {
      Session s;
      QTest::keyClick(s.find<QCheckBox>("ShortCutChk"), Qt::Key_Escape);
      QVERIFY(!s.frm->isVisible());
      QCOMPARE(s.frm->result(), 2);
      QCOMPARE(s.bootAttributes(), 7);
    }
  }

  // "Обзор" puts the chosen program's Windows path and "%1" in the edit,
  // marked; a name that does not exist is taken as typed.
  void browseForViewer() {
    Session s;
    s.page("UsefulPage");
    QTimer::singleShot(0, [&] {
      s.frm->OpenPrgDlg->selectFile(QString::fromStdString(s.file("drive_c/WINDOWS/VIEW.EXE")));
      QMetaObject::invokeMethod(s.frm->OpenPrgDlg, "accept");
    });
    s.click("BitBtn6");
    QCOMPARE(s.find<QLineEdit>("DefViewerEdt")->text(), QString("C:\\WINDOWS\\VIEW.EXE \"%1\""));
    s.ok();
    QVERIFY(s.systemReg().find("@=\"C:\\\\WINDOWS\\\\VIEW.EXE \\\"%1\\\"\"") != std::string::npos);
  }

  // "Автор" and "Ссылки" show their dialogs modally, the same dialog each
  // time; F1 while one is up does not reach the main window.
  void informationDialogs() {
    Session s;
    std::vector<QWidget*> shown;
    auto closeWhenUp = [&] {
      QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        shown.push_back(dialog);
        QTest::keyClick(dialog, Qt::Key_F1);
        QTest::keyClick(dialog, Qt::Key_Return);
      });
    };
    closeWhenUp();
    s.click("BitBtn4");
    closeWhenUp();
    s.click("BitBtn4");
    closeWhenUp();
    s.click("BitBtn5");
    QCOMPARE(shown.size(), size_t(3));
    QCOMPARE(shown[0], static_cast<QWidget*>(frambul::ui::AboutFrm));
    QCOMPARE(shown[1], shown[0]);
    QCOMPARE(shown[2], static_cast<QWidget*>(frambul::ui::LinksFrm));
    QVERIFY(s.helpCalls.empty());
    QVERIFY(s.frm->isVisible());
  }

  // The real error box: the program's title, an error icon, one OK button.
  void errorBox() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      QCOMPARE(box->buttons().size(), 1);
      box->accept();
    });
    frambul::ui::ShowError(nullptr, "Unable to write to C:\\WINDOWS\\WIN.INI");
    QCOMPARE(title, QString("Фрамбуль Над Windows"));
    QCOMPARE(text, QString("Unable to write to C:\\WINDOWS\\WIN.INI."));
    QCOMPARE(icon, QMessageBox::Critical);
  }

  // The error box's text gains a full stop only after a character beyond ".".
  void fullStop() {
    using frambul::ui::WithFullStop;
    QCOMPARE(WithFullStop("Unable to write to C:\\MSDOS.Sys"), QString("Unable to write to C:\\MSDOS.Sys."));
    QCOMPARE(WithFullStop("Failed to set data for 'x'"), QString("Failed to set data for 'x'"));
    QCOMPARE(WithFullStop("Готово."), QString("Готово."));
    QCOMPARE(WithFullStop("Ошибка"), QString("Ошибка."));
    QCOMPARE(WithFullStop("(1)"), QString("(1)"));
  }
};

QTEST_MAIN(MainFrmTest)
#include "main_frm_test.moc"
