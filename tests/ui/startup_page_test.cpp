// The page "Автозапуск" in the real window, offscreen on copies of the sample
// machine: mouse clicks, the pop-up menu, rename in place, the details dialog
// and "Добавить", then OK, Cancel or the close box and the files on disk.

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <string>

#include "dialogs.h"
#include "engine/store/files.h"
#include "program.h"
#include "startup_list_view.h"
#include "support/temp_prefix.h"
#include "support/window_session.h"

using Session = frambul::test::WindowSession;
namespace ui = frambul::ui;

namespace {

// Rows of the sample machine's list of 19: eight machine-wide registry
// entries, five personal ones, three shortcuts, then three of Win.Ini.
enum Row { kSystemTray = 4, kTaskMonitor, kClock = 8, kNetMeter, kScheduler = 12, kOrganizer = 14, kMail, kPrnStat, kTaskMan = 18 };

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
  QString commandLine(int r) const { return list->model()->index(r, 0).data(Qt::UserRole).toString(); }
  // The in-place editor open on a row's name, if any.
  QLineEdit* editor(int r) const { return qobject_cast<QLineEdit*>(list->indexWidget(list->model()->index(r, 0))); }
  QPoint at(int r, int column = 0) const { return list->visualRect(list->model()->index(r, column)).center(); }
  void press(int r, int column = 0) const { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at(r, column)); }
  void doubleClick(int r) const { QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at(r)); }
  // A press twice on a row, slower than a double click, as the user starts a rename.
  void slowClicks(int r) const {
    for (int i = 0; i < 2; ++i, QTest::qWait(QApplication::doubleClickInterval() + 50)) press(r);
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
  // Opens the menu on a row and clicks one of its items, as the user does.
  void choose(int r, const char* item) const {
    rightClick(at(r));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(find<QAction>(item)).center());
  }
  std::string userReg() const { return frambul::test::ReadFile(file("user.reg")); }
  std::string winIni() const { return frambul::test::ReadFile(file("drive_c/WINDOWS/WIN.INI")); }
  // Read-only 1, hidden 2, system 4 of each shortcut of the Startup folder.
  QString attributes() const {
    QString bits;
    for (const char* shortcut : {"Органайзер.lnk", "Проверка почты.lnk", "Антивирусный монитор.lnk"})
      bits += QString::number(frambul::store::GetAttributes(*machine, R"(C:\WINDOWS\Главное меню\Программы\Автозагрузка\)" + std::string(shortcut)) & 7);
    return bits;
  }
  // Every file the page's save may touch.
  std::string files() const { return systemReg() + userReg() + winIni() + attributes().toStdString(); }

  std::unique_ptr<ui::TComFrm> comFrm = std::make_unique<ui::TComFrm>();
  ui::TStartupListView* list = nullptr;
  QMenu* menu = nullptr;
};

// The value lines of a key's block in a registry file: "Run" or "Run-".
QString Block(const std::string& reg, const std::string& run) {
  const size_t at = reg.find("\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\" + run + "] ");
  if (at == std::string::npos) return "(none)";
  const size_t start = reg.find('\n', reg.find("\n#time=", at) + 1) + 1;
  return QString::fromStdString(reg.substr(start, reg.find("\n\n", start) - start));
}

// Types text, Cyrillic too, as key presses into the widget.
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class StartupPageTest : public QObject {
  Q_OBJECT

 private slots:
  // The sample's rows with their pictures; the columns sized to the list. The
  // menu opened on each kind of row, and on the empty space below the rows:
  // every item, separators included, "+" enabled and "*" checked.
  void theListShowsTheSampleAndTheMenuFollowsTheRow() {
    StartupSession s;
    QCOMPARE(s.row(kMail), QString("Проверка почты|Нет|Меню"));  // a hidden shortcut
    const QImage tick = s.list->model()->index(0, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(tick.size(), QSize(22, 18));
    QVERIFY(tick != s.list->model()->index(kMail, 0).data(Qt::DecorationRole).value<QPixmap>().toImage());
    QCOMPARE(s.list->columnWidth(0) + s.list->columnWidth(1) + s.list->columnWidth(2), s.list->width() - 24);

    // Fewer rows than the list has room for, so that there is space below
    // them: registry entries go from the top.
    const QPoint below(20, s.list->viewport()->height() - 4);
    int removed = 0;
    for (; s.list->indexAt(below).isValid() && removed < 12; ++removed) {
      s.press(0);
      QTest::mouseClick(s.find<QPushButton>("DelBtn"), Qt::LeftButton);
    }
    QVERIFY(!s.list->indexAt(below).isValid());
    const std::pair<QPoint, QString> cases[] = {
        {s.at(kScheduler - removed, 2), "+ + + +* + + + + + + +"},  // a disabled personal registry entry, right of its name
        {s.at(kPrnStat - removed), "+* + + + +* + + + + - +"},      // Win.Ini: no rename
        {s.at(kMail - removed), "+ + - - -* + + - + - -"},          // a hidden folder file: the sources keep their marks
        {below, "- - - - -* - + - - - -"},                          // nothing: only "Добавить"
    };
    for (const auto& [point, states] : cases) {
      s.rightClick(point);
      QVERIFY(s.menu->isVisible());
      QCOMPARE(s.menuStates(), states);
      s.menu->close();
    }
  }

  // A press selects the row and sets "Убрать" and "Подробно"; keyboard moves
  // leave the buttons alone, so "Убрать" then toggles a folder entry. A double
  // click toggles; the menu's items act on the row. Then OK rewrites the four
  // sources from the list; Cancel and the close box write none of them.
  void editsThenOkWritesTheListCancelAndTheCloseBoxDoNot() {
    for (const QString end : {"OkBtn", "BitBtn2", "close box"}) {
      StartupSession s;
      const std::string system = s.systemReg(), user = s.userReg(), before = s.files();
      auto* del = s.find<QPushButton>("DelBtn");
      auto* details = s.find<QPushButton>("ComBtn");
      QVERIFY(!del->isEnabled() && !details->isEnabled());
      s.press(kTaskMonitor, 2);
      QVERIFY(del->isEnabled() && details->isEnabled());
      s.doubleClick(kTaskMonitor);  // off
      s.press(kSystemTray);
      for (int r = kSystemTray; r < kOrganizer; ++r) QTest::keyClick(s.list, Qt::Key_Down);
      QVERIFY(del->isEnabled());
      QTest::mouseClick(del, Qt::LeftButton);  // hides the shortcut
      // "Убрать Совсем" removes a registry row, without asking.
      s.choose(kSystemTray, "DelMnuItem");
      QCOMPARE(s.list->model()->rowCount(), 18);
      QCOMPARE(s.row(kSystemTray), QString("TaskMonitor|Нет|Реестр (Общий)"));
      // A Win.Ini program moved into the personal registry keeps its title as name.
      s.choose(kTaskMan - 1, "RegPersMnuItem");
      s.doubleClick(kMail - 1);  // shown
      if (end == "close box") s.frm->close();
      else QTest::mouseClick(s.find<QPushButton>(qPrintable(end)), Qt::LeftButton);
      QVERIFY(!s.frm->isVisible());
      QVERIFY(s.errors.isEmpty());
      if (end != "OkBtn") {
        QVERIFY(s.files() == before);
        continue;
      }
      // The removed and the disabled entry leave Run, the latter for Run-; TASKMAN
      // joins the user's Run; expandable text is written back as plain text.
      const QString tray = "\"SystemTray\"=\"SysTray.Exe\"\n", monitor = "\n\"TaskMonitor\"=\"C:\\\\WINDOWS\\\\taskmon.exe\"";
      QCOMPARE(Block(s.systemReg(), "Run"), Block(system, "Run").remove(tray).remove(monitor));
      QCOMPARE(Block(s.systemReg(), "Run-"), Block(system, "Run-") + monitor);
      QCOMPARE(Block(s.userReg(), "Run"), Block(user, "Run").remove("str(2):").replace("-min\"\n", "-min\"\n\"TASKMAN\"=\"C:\\\\WINDOWS\\\\TASKMAN.EXE\"\n"));
      // Load= is emptied into Run=, each program followed by a space; Run-= is added.
      for (const char* line : {"\nload=\r\n", "\nrun=C:\\WINDOWS\\SYSTEM\\PRNSTAT.EXE C:\\PROGRA~1\\KEYSW\\KEYSW.EXE \r\n", "\nRun-=\r\n"})
        QVERIFY2(s.winIni().find(line) != std::string::npos, line);
      QCOMPARE(s.attributes(), QString("200"));  // read-only is cleared
    }
  }

  // Rename by the menu item and by a slow second click, which does not start
  // on a Win.Ini entry; Esc keeps the name. Two entries that would be
  // stored under one value name: OK shows which, writes nothing at all and
  // leaves the window open.
  void renameInPlaceAndOkRefusesTwoEntriesUnderOneName() {
    StartupSession s;
    const std::string before = s.files() + s.bootFile();
    s.choose(kClock, "RegMnuItem");
    s.choose(kNetMeter, "RenameMnuItem");
    QLineEdit* editor = s.editor(kNetMeter);
    QVERIFY(editor != nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    Type(editor, "напоминалка");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(s.row(kNetMeter), QString("напоминалка|Да|Реестр (Личный)"));  // the editor hands its text over from the event loop

    s.slowClicks(kClock);
    QTRY_VERIFY(s.editor(kClock) != nullptr);
    QTest::keyClicks(s.editor(kClock), "x");
    QTest::keyClick(s.editor(kClock), Qt::Key_Escape);
    QTRY_VERIFY(s.editor(kClock) == nullptr);
    QCOMPARE(s.row(kClock), QString("Clock|Да|Реестр (Общий)"));
    QVERIFY(s.frm->isVisible());  // Esc in the editor does not press Cancel

    s.slowClicks(kPrnStat);
    QVERIFY(s.editor(kPrnStat) == nullptr);

    s.page("BootPage");
    s.click("LogoChk");
    QTest::mouseClick(s.find<QPushButton>("OkBtn"), Qt::LeftButton);
    QVERIFY(s.frm->isVisible());
    QVERIFY2(s.errors.size() == 1 && s.errors[0].contains("«напоминалка» и «Напоминалка» («Реестр (Личный)»"), qPrintable(s.errors.join("\n")));
    QVERIFY(s.files() + s.bootFile() == before);
  }

  // "Подробно" shows the command line; Esc keeps it, "Угу" takes the new one,
  // except a Win.Ini entry's with a space, which is refused with the reason.
  // "Добавить" takes a typed name of a file that does not exist, by its
  // Windows path, as an enabled machine-wide entry at the end, not selected.
  void theDetailsDialogAndAddEditTheList() {
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
    QCOMPARE(details(kTaskMonitor, "X.EXE", Qt::Key_Escape), QString(R"(C:\WINDOWS\taskmon.exe)"));
    QCOMPARE(s.commandLine(kTaskMonitor), QString(R"(C:\WINDOWS\taskmon.exe)"));
    details(kTaskMonitor, R"(C:\WINDOWS\taskmon.exe /q)", Qt::Key_Return);
    QCOMPARE(s.commandLine(kTaskMonitor), QString(R"(C:\WINDOWS\taskmon.exe /q)"));
    details(kTaskMan, R"(C:\WINDOWS\TASKMAN.EXE /q)", Qt::Key_Return);
    QCOMPARE(s.commandLine(kTaskMan), QString(R"(C:\WINDOWS\TASKMAN.EXE)"));
    QCOMPARE(s.errors.size(), 1);
    QVERIFY(s.errors[0].contains("Win.Ini"));

    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      Type(name, "NEW.EXE");
      QTest::keyClick(name, Qt::Key_Return);
    });
    s.press(kClock);
    QTest::mouseClick(s.find<QPushButton>("AddBtn"), Qt::LeftButton);
    QCOMPARE(s.list->model()->rowCount(), 20);
    QCOMPARE(s.row(19), QString("NEW|Да|Реестр (Общий)"));
    QCOMPARE(s.commandLine(19), QString(R"(C:\NEW.EXE)"));
    QCOMPARE(s.list->SelectedRow(), int(kClock));
  }
};

QTEST_MAIN(StartupPageTest)
#include "startup_page_test.moc"
