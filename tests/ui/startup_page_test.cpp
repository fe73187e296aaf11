// The page "Автозапуск" in the real window, offscreen on copies of the sample
// machine: mouse clicks, the pop-up menu, rename in place, the details dialog
// and "Добавить", then OK, Cancel or the close box and the files on disk.

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <string>

#include "dialogs.h"
#include "engine/store/files.h"
#include "pages/startup_page.h"
#include "program.h"
#include "startup_list_view.h"
#include "support/temp_prefix.h"
#include "support/window_session.h"

using frambul::test::ReadFile;
using Session = frambul::test::WindowSession;
namespace ui = frambul::ui;

namespace {

// The sample machine's list, row by row: name, state, source.
const char* const kSampleRows[] = {
    "internat.exe|Да|Реестр (Общий)",      "LoadPowerProfile|Да|Реестр (Общий)",
    "LoadQM|Да|Реестр (Общий)",            "ScanRegistry|Да|Реестр (Общий)",
    "SystemTray|Да|Реестр (Общий)",        "TaskMonitor|Да|Реестр (Общий)",
    "LoadQM|Нет|Реестр (Общий)",           "StillImageMonitor|Нет|Реестр (Общий)",
    "Clock|Да|Реестр (Личный)",            "NetMeter|Да|Реестр (Личный)",
    "Напоминалка|Да|Реестр (Личный)",      "Pogoda|Нет|Реестр (Личный)",
    "Scheduler|Нет|Реестр (Личный)",       "Антивирусный монитор|Да|Меню",
    "Органайзер|Да|Меню",                  "Проверка почты|Нет|Меню",
    "PRNSTAT|Да|Win.Ini",                  "KEYSW|Да|Win.Ini",
    "TASKMAN|Да|Win.Ini",
};
enum Row { kTaskMonitor = 5, kSystemTray = 4, kClock = 8, kOrganizer = 14, kMail = 15, kPrnStat = 16, kTaskMan = 18 };

// The window on the sample machine with the Startup page in front.
struct StartupSession : Session {
  StartupSession() {
    ui::ComFrm = comFrm.get();
    page("Startup");
    list = find<ui::TStartupListView>("StartUpLvw");
    menu = find<QMenu>("StartUpMnu");
  }
  ~StartupSession() { ui::ComFrm = nullptr; }

  QString row(int r) const {
    QAbstractItemModel* m = list->model();
    return m->index(r, 0).data().toString() + "|" + m->index(r, 1).data().toString() + "|" +
           m->index(r, 2).data().toString();
  }
  // The in-place editor open on a row's name, if any.
  QLineEdit* editor(int r) const { return qobject_cast<QLineEdit*>(list->indexWidget(list->model()->index(r, 0))); }
  int rowOf(const QString& name) const {
    for (int r = 0; r < list->model()->rowCount(); ++r)
      if (list->model()->index(r, 0).data().toString() == name) return r;
    return -1;
  }
  QPoint at(int r, int column = 0) const { return list->visualRect(list->model()->index(r, column)).center(); }
  void press(int r, Qt::MouseButton button = Qt::LeftButton, int column = 0) const {
    QTest::mouseClick(list->viewport(), button, {}, at(r, column));
  }
  // A right click at `point` of the list: the press selects, the menu opens.
  void rightClick(QPoint point) const {
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, point);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, list->viewport()->mapToGlobal(point));
    QApplication::sendEvent(list->viewport(), &event);
  }
  // Each item of the open menu: "+" enabled, "-" disabled, then "*" when checked.
  QString menuStates() const {
    QString states;
    for (QAction* action : menu->actions()) states += QString(action->isEnabled() ? "+" : "-") + (action->isChecked() ? "*" : "") + " ";
    return states.trimmed();
  }
  // Clicks the item of the open menu, as the user does.
  void choose(const char* item) const {
    QAction* action = find<QAction>(item);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  }
  std::string userReg() const { return ReadFile(file("user.reg")); }
  std::string winIni() const { return ReadFile(file("drive_c/WINDOWS/WIN.INI")); }
  // Read-only 1, hidden 2, system 4 of a shortcut of the Startup folder.
  int attributes(const std::string& shortcut) const {
    return frambul::store::GetAttributes(*machine, R"(C:\WINDOWS\Главное меню\Программы\Автозагрузка\)" + shortcut) & 7;
  }

  std::unique_ptr<ui::TComFrm> comFrm = std::make_unique<ui::TComFrm>();
  ui::TStartupListView* list = nullptr;
  QMenu* menu = nullptr;
};

// The value lines of a key's block in a registry file.
QString Block(const std::string& reg, const std::string& head) {
  const size_t at = reg.find("\n" + head + " ");
  if (at == std::string::npos) return "(none)";
  const size_t start = reg.find('\n', reg.find("\n#time=", at) + 1) + 1;
  return QString::fromStdString(reg.substr(start, reg.find("\n\n", start) - start));
}

// Types text, Cyrillic too, as key presses into the widget.
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

const std::string kRun = R"([Software\\Microsoft\\Windows\\CurrentVersion\\Run])";
const std::string kRunOff = R"([Software\\Microsoft\\Windows\\CurrentVersion\\Run-])";

}  // namespace

class StartupPageTest : public QObject {
  Q_OBJECT

 private slots:
  // Every source in its order, with its picture; the columns sized to the list.
  void theListShowsEverySourceInOrder() {
    StartupSession s;
    QStringList rows;
    for (int r = 0; r < s.list->model()->rowCount(); ++r) rows << s.row(r);
    QStringList expected;
    for (const char* row : kSampleRows) expected << QString::fromUtf8(row);
    QCOMPARE(rows, expected);
    const QImage tick = s.list->model()->index(0, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    const QImage chevron = s.list->model()->index(kMail, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(tick.size(), QSize(22, 18));
    QVERIFY(tick != chevron);
    QCOMPARE(s.list->model()->index(kMail, 0).data(Qt::UserRole).toString(), QString("Проверка почты.lnk"));
    QCOMPARE(s.list->columnWidth(0) + s.list->columnWidth(1) + s.list->columnWidth(2), s.list->width() - 24);
  }

  // The menu opened on each kind of row, and on the empty space below the rows:
  // every item, separators included, "+" enabled and "*" checked.
  void theMenuFollowsTheRowItOpensOn() {
    StartupSession s;
    // Fewer rows than the list has room for, so that there is space below
    // them: registry entries go from the top.
    const QPoint below(20, s.list->viewport()->height() - 4);
    for (int removed = 0; s.list->indexAt(below).isValid() && removed < 12; ++removed) {
      s.press(0);
      QTest::mouseClick(s.find<QPushButton>("DelBtn"), Qt::LeftButton);
    }
    QVERIFY(!s.list->indexAt(below).isValid());
    const std::pair<QPoint, QString> cases[] = {
        {s.at(s.rowOf("Scheduler"), 2), "+ + + +* + + + + + + +"},  // a disabled personal registry entry, right of its name
        {s.at(s.rowOf("PRNSTAT")), "+* + + + +* + + + + - +"},      // Win.Ini: no rename
        {s.at(s.rowOf("Проверка почты")), "+ + - - -* + + - + - -"},  // a hidden folder file: the sources keep their marks
        {below, "- - - - -* - + - - - -"},          // nothing: only "Добавить"
    };
    for (const auto& [point, states] : cases) {
      s.rightClick(point);
      QVERIFY(s.menu->isVisible());
      QCOMPARE(s.menuStates(), states);
      s.menu->close();
    }
  }

  // A press selects the row and sets "Убрать" and "Подробно"; keyboard moves
  // leave the buttons alone, so "Убрать" then toggles a folder entry. A
  // double click toggles; the menu's items act on the row.
  void clicksButtonsAndTheMenuChangeTheList() {
    StartupSession s;
    auto* del = s.find<QPushButton>("DelBtn");
    auto* details = s.find<QPushButton>("ComBtn");
    QVERIFY(!del->isEnabled() && !details->isEnabled());
    s.press(kTaskMonitor, Qt::LeftButton, 2);
    QVERIFY(del->isEnabled() && details->isEnabled());
    QTest::mouseDClick(s.list->viewport(), Qt::LeftButton, {}, s.at(kTaskMonitor));
    QCOMPARE(s.row(kTaskMonitor), QString("TaskMonitor|Нет|Реестр (Общий)"));
    s.press(kOrganizer);
    QVERIFY(!del->isEnabled());
    s.press(kSystemTray);
    for (int r = kSystemTray; r < kOrganizer; ++r) QTest::keyClick(s.list, Qt::Key_Down);
    QVERIFY(del->isEnabled());
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(s.row(kOrganizer), QString("Органайзер|Нет|Меню"));
    QCOMPARE(s.list->model()->rowCount(), 19);
    // "Убрать Совсем" removes a registry row, without asking.
    s.rightClick(s.at(kSystemTray));
    s.choose("DelMnuItem");
    QCOMPARE(s.list->model()->rowCount(), 18);
    QCOMPARE(s.row(kSystemTray), QString("TaskMonitor|Нет|Реестр (Общий)"));
    // A Win.Ini program moved into the personal registry keeps its title as name.
    s.rightClick(s.at(kTaskMan - 1));
    s.choose("RegPersMnuItem");
    QCOMPARE(s.row(kTaskMan - 1), QString("TASKMAN|Да|Реестр (Личный)"));
    QVERIFY(s.errors.isEmpty());
  }

  // Rename by the menu item and by a slow second click; Esc keeps the name;
  // neither starts on a Win.Ini or folder entry.
  void renameInPlaceIsForRegistryEntries() {
    StartupSession s;
    s.rightClick(s.at(kClock));
    s.choose("RenameMnuItem");
    QLineEdit* editor = s.editor(kClock);
    QVERIFY(editor != nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    Type(editor, "Часы");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(s.row(kClock), QString("Часы|Да|Реестр (Личный)"));  // the editor hands its text over from the event loop
    QVERIFY(s.frm->isVisible());  // Enter in the editor takes the name, it does not press OK

    s.press(kClock + 1);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    s.press(kClock + 1);
    QTRY_VERIFY(s.editor(kClock + 1) != nullptr);
    QTest::keyClicks(s.editor(kClock + 1), "x");
    QTest::keyClick(s.editor(kClock + 1), Qt::Key_Escape);
    QTRY_VERIFY(s.editor(kClock + 1) == nullptr);
    QCOMPARE(s.row(kClock + 1), QString("NetMeter|Да|Реестр (Личный)"));
    QVERIFY(s.frm->isVisible());  // Esc in the editor does not press Cancel

    for (int r : {int(kPrnStat), int(kOrganizer)}) {
      s.rightClick(s.at(r));
      QVERIFY(!s.find<QAction>("RenameMnuItem")->isEnabled());
      s.menu->close();
      s.press(r);
      QTest::qWait(QApplication::doubleClickInterval() + 50);
      s.press(r);
      QTest::qWait(QApplication::doubleClickInterval() + 50);
      QVERIFY(s.editor(r) == nullptr);
    }
  }

  // "Подробно" shows the command line; Esc keeps it, "Угу" takes the new one,
  // except a Win.Ini entry's with a space, which is refused with the reason.
  void theDetailsDialogEditsTheCommandLine() {
    StartupSession s;
    auto details = [&](int r, const QString& typed, Qt::Key key) {
      QString shown;
      QTimer::singleShot(0, [&] {
        QLineEdit* edit = s.comFrm->Edit1();
        shown = edit->text();
        edit->setText(typed);
        QTest::keyClick(edit, key);
      });
      s.press(r);
      QTest::mouseClick(s.find<QPushButton>("ComBtn"), Qt::LeftButton);
      return shown;
    };
    auto commandLine = [&](int r) { return s.list->model()->index(r, 0).data(Qt::UserRole).toString(); };
    QCOMPARE(details(kTaskMonitor, "X.EXE", Qt::Key_Escape), QString(R"(C:\WINDOWS\taskmon.exe)"));
    QCOMPARE(commandLine(kTaskMonitor), QString(R"(C:\WINDOWS\taskmon.exe)"));
    details(kTaskMonitor, R"(C:\WINDOWS\taskmon.exe /q)", Qt::Key_Return);
    QCOMPARE(commandLine(kTaskMonitor), QString(R"(C:\WINDOWS\taskmon.exe /q)"));
    QVERIFY(s.errors.isEmpty());
    details(kTaskMan, R"(C:\WINDOWS\TASKMAN.EXE /q)", Qt::Key_Return);
    QCOMPARE(commandLine(kTaskMan), QString(R"(C:\WINDOWS\TASKMAN.EXE)"));
    QCOMPARE(s.errors.size(), 1);
    QVERIFY(s.errors[0].contains("Win.Ini"));
  }

  // "Добавить" takes a typed name of a file that does not exist, by its
  // Windows path, as an enabled machine-wide entry at the end, not selected.
  void addTakesTheChosenProgram() {
    StartupSession s;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QCOMPARE(dialog->windowTitle(), QString("Выбор Программы"));
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      Type(name, "NEW.EXE");
      QTest::keyClick(name, Qt::Key_Return);
    });
    s.press(kClock);
    QTest::mouseClick(s.find<QPushButton>("AddBtn"), Qt::LeftButton);
    QCOMPARE(s.list->model()->rowCount(), 20);
    QCOMPARE(s.row(19), QString("NEW|Да|Реестр (Общий)"));
    QCOMPARE(s.list->model()->index(19, 0).data(Qt::UserRole).toString(), QString(R"(C:\NEW.EXE)"));
    QCOMPARE(s.list->SelectedRow(), int(kClock));
  }

  // OK rewrites the four sources from the list; Cancel and the close box,
  // after the same changes, write none of them.
  void okWritesTheListCancelAndTheCloseBoxDoNot() {
    for (const char* end : {"OkBtn", "BitBtn2", "close box"}) {
      StartupSession s;
      const std::string system = s.systemReg(), user = s.userReg(), winIni = s.winIni();
      QTest::mouseDClick(s.list->viewport(), Qt::LeftButton, {}, s.at(kTaskMonitor));  // off
      QTest::mouseDClick(s.list->viewport(), Qt::LeftButton, {}, s.at(kOrganizer));    // hidden
      QTest::mouseDClick(s.list->viewport(), Qt::LeftButton, {}, s.at(kMail));         // shown
      s.rightClick(s.at(kSystemTray));
      s.choose("DelMnuItem");
      s.rightClick(s.at(kTaskMan - 1));
      s.choose("RegPersMnuItem");
      if (std::string(end) == "close box") {
        s.frm->close();
      } else {
        QTest::mouseClick(s.find<QPushButton>(end), Qt::LeftButton);
      }
      QVERIFY(!s.frm->isVisible());
      QVERIFY(s.errors.isEmpty());
      if (std::string(end) != "OkBtn") {
        QVERIFY(s.systemReg() == system && s.userReg() == user && s.winIni() == winIni);
        QCOMPARE(s.attributes("Органайзер.lnk"), 0);
        QCOMPARE(s.attributes("Проверка почты.lnk"), 2);
        QCOMPARE(s.attributes("Антивирусный монитор.lnk"), 1);
        continue;
      }
      QCOMPARE(Block(s.systemReg(), kRun),
               "\"internat.exe\"=\"internat.exe\"\n"
               "\"LoadPowerProfile\"=\"Rundll32.exe powrprof.dll,LoadCurrentPwrScheme\"\n"
               "\"LoadQM\"=\"loadqm.exe\"\n"
               "\"ScanRegistry\"=\"C:\\\\WINDOWS\\\\scanregw.exe /autorun\"");
      QCOMPARE(Block(s.systemReg(), kRunOff),
               "\"LoadQM\"=\"loadqm.exe\"\n"
               "\"StillImageMonitor\"=\"C:\\\\WINDOWS\\\\SYSTEM\\\\STIMON.EXE\"\n"
               "\"TaskMonitor\"=\"C:\\\\WINDOWS\\\\taskmon.exe\"");
      QCOMPARE(Block(s.userReg(), kRun),
               "\"Clock\"=\"%windir%\\\\CLOCK.EXE\"\n"  // expandable text is written back as plain text
               "\"NetMeter\"=\"C:\\\\Program Files\\\\NetMeter\\\\NETMETER.EXE -min\"\n"
               "\"TASKMAN\"=\"C:\\\\WINDOWS\\\\TASKMAN.EXE\"\n"
               "\"\\x41d\\x430\\x43f\\x43e\\x43c\\x438\\x43d\\x430\\x43b\\x43a\\x430\"="
               "\"C:\\\\Program Files\\\\Napominalka\\\\REMIND.EXE\"");
      QCOMPARE(Block(s.userReg(), kRunOff), Block(user, kRunOff));
      // Load= is emptied into Run=, each program followed by a space; Run-= is added.
      const std::string ini = s.winIni();
      QVERIFY(ini.find("load=\r\n") != std::string::npos);
      QVERIFY(ini.find("run=C:\\WINDOWS\\SYSTEM\\PRNSTAT.EXE C:\\PROGRA~1\\KEYSW\\KEYSW.EXE \r\n") != std::string::npos);
      QVERIFY(ini.find("Run-=\r\n") != std::string::npos);
      QCOMPARE(s.attributes("Органайзер.lnk"), 2);
      QCOMPARE(s.attributes("Проверка почты.lnk"), 0);
      QCOMPARE(s.attributes("Антивирусный монитор.lnk"), 0);  // read-only is cleared
    }
  }

  // Two entries that would be stored under one value name: OK shows which,
  // writes nothing at all and leaves the window open.
  void okRefusesTwoEntriesUnderOneName() {
    StartupSession s;
    const std::string system = s.systemReg(), boot = s.bootFile();
    s.rightClick(s.at(kClock));
    s.choose("RegMnuItem");
    s.rightClick(s.at(kClock));
    s.choose("RenameMnuItem");
    QTest::keyClick(s.editor(kClock), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(s.editor(kClock), "loadqm");
    QTest::keyClick(s.editor(kClock), Qt::Key_Return);
    QTRY_COMPARE(s.row(kClock), QString("loadqm|Да|Реестр (Общий)"));
    s.page("BootPage");
    s.click("LogoChk");
    QTest::mouseClick(s.find<QPushButton>("OkBtn"), Qt::LeftButton);
    QVERIFY(s.frm->isVisible());
    QCOMPARE(s.errors.size(), 1);
    QVERIFY(s.errors[0].contains("LoadQM") && s.errors[0].contains("loadqm") && s.errors[0].contains("Реестр (Общий)"));
    QVERIFY(s.systemReg() == system && s.bootFile() == boot);
  }
};

QTEST_MAIN(StartupPageTest)
#include "startup_page_test.moc"
