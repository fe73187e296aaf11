// The help viewer's window driven directly, and the help call against the real
// frambul-help program (built beside this test).

#include <signal.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "ui/help/help_channel.h"
#include "ui/help/help_window.h"
#include "ui/help/topics_dialog.h"
#include "ui/help/win_help.h"

using namespace frambul::ui;
using namespace frambul::ui::help;

namespace {

HelpFile ShippedHelp() {
  QFile file(KOLPA_HLP);
  if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", KOLPA_HLP);
  const QByteArray bytes = file.readAll();
  return ParseHelpFile(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), KOLPA_HLP).help;
}

struct ViewerState {
  qint64 pid = 0;
  QString topic;
  bool finderOpen = false;
};

// What the viewer of `path` shows; pid 0 when none answers.
ViewerState StateOf(const QString& path) {
  const Answer answer = SendRequest(ViewerServerName(QFileInfo(path).canonicalFilePath()), kState, 3000);
  const QStringList parts = answer.reply.value_or(QString()).split(' ');
  if (parts.size() != 4 || parts[0] != "ok") return {};
  return {parts[1].toLongLong(), parts[2], parts[3] == "1"};
}

// The viewer processes running for the help file at `path` (by their command line).
QList<qint64> ViewersOf(const QString& path) {
  QList<qint64> pids;
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
    bool number = false;
    const qint64 pid = entry.toLongLong(&number);
    QFile cmdline("/proc/" + entry + "/cmdline");
    if (!number || !cmdline.open(QIODevice::ReadOnly)) continue;
    const QList<QByteArray> args = cmdline.readAll().split('\0');
    if (args.size() >= 2 && args[0].endsWith("frambul-help") && args[1] == path.toUtf8()) pids << pid;
  }
  return pids;
}

// Ends the viewers of `path`: asks them to quit, then kills those still there.
void EndViewers(const QString& path) {
  SendRequest(ViewerServerName(QFileInfo(path).canonicalFilePath()), kQuit, 3000);
  QElapsedTimer clock;
  clock.start();
  while (!ViewersOf(path).isEmpty() && clock.elapsed() < 3000) QTest::qWait(20);
  for (qint64 pid : ViewersOf(path)) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace

class HelpViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanup();
  void windowFollowsJumpsBackAndForward();
  void topicsDialogFiltersAndShowsTheChosenTopic();
  void windowObeysAndRefusesRequests();
  void helpFileIsFoundBesideTheProgramThenInShare();
  void contentsThenJumpGiveOneViewerShowingTheTopic();
  void failuresStartNoViewer();

 private:
  QTemporaryDir dir_;
  QString helpPath_;  // a copy of the shipped help file, for the viewers started here
};

void HelpViewerTest::initTestCase() {
  qputenv("QT_QPA_PLATFORM", "offscreen");  // for the viewers this test starts
  QVERIFY(dir_.isValid());
  helpPath_ = dir_.filePath("Kolpa.hlp");
  QVERIFY(QFile::copy(KOLPA_HLP, helpPath_));
}

void HelpViewerTest::cleanup() { EndViewers(QFileInfo(helpPath_).canonicalFilePath()); }

void HelpViewerTest::windowFollowsJumpsBackAndForward() {
  HelpWindow window(ShippedHelp(), helpPath_);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QCOMPARE(window.CurrentTopic(), QString("Contents"));

  // Click the jump "Мелочи" in the contents topic.
  auto* browser = window.findChild<QTextBrowser*>("TopicBrw");
  QTextCursor link = browser->document()->find("Мелочи");
  QVERIFY(!link.isNull());
  link.setPosition(link.selectionStart() + 2);
  QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
  QCOMPARE(window.CurrentTopic(), QString("MiscPage"));

  auto* back = window.findChild<QAction*>("BackAct");
  auto* forward = window.findChild<QAction*>("ForwardAct");
  QVERIFY(back->isEnabled());
  QVERIFY(!forward->isEnabled());
  back->trigger();
  QCOMPARE(window.CurrentTopic(), QString("Contents"));
  QVERIFY(forward->isEnabled());
  forward->trigger();
  QCOMPARE(window.CurrentTopic(), QString("MiscPage"));

  // Topics load nothing but topics: no files from disk.
  QVERIFY(!browser->loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(KOLPA_HLP)).isValid());
  QVERIFY(!browser->loadResource(QTextDocument::HtmlResource, QUrl("topic:NoSuchTopic")).isValid());
}

void HelpViewerTest::topicsDialogFiltersAndShowsTheChosenTopic() {
  HelpWindow window(ShippedHelp(), helpPath_);
  window.show();
  QCOMPARE(window.Execute(kFinder), QString("ok"));
  TopicsDialog* finder = window.Finder();
  QVERIFY(finder->isVisible());
  auto* filter = finder->findChild<QLineEdit*>("FilterEdt");
  auto* list = finder->findChild<QListWidget*>("TopicsLst");
  auto* show = finder->findChild<QPushButton*>("ShowBtn");
  QCOMPARE(list->count(), 7);

  const auto visibleTitles = [list] {
    QStringList titles;
    for (int row = 0; row < list->count(); ++row) {
      if (!list->item(row)->isHidden()) titles << list->item(row)->text();
    }
    return titles;
  };
  QTest::keyClicks(filter, "disablepwdcaching");  // text of a topic, in another letter case
  QCOMPARE(visibleTitles(), QStringList{"Мелочи"});
  filter->setText("нет такого слова");
  QVERIFY(visibleTitles().isEmpty());
  QVERIFY(!show->isEnabled());
  filter->setText("Сеть");
  QCOMPARE(list->currentItem()->text(), QString("Сеть"));
  QTest::mouseClick(show, Qt::LeftButton);
  QVERIFY(!finder->isVisible());
  QCOMPARE(window.CurrentTopic(), QString("NetworkPage"));

  // Opened again, the dialog starts unfiltered at the topic in view.
  window.Execute(kFinder);
  QVERIFY(filter->text().isEmpty());
  QCOMPARE(visibleTitles().size(), 7);
  QCOMPARE(list->currentItem()->text(), QString("Сеть"));
}

void HelpViewerTest::windowObeysAndRefusesRequests() {
  HelpWindow window(ShippedHelp(), helpPath_);
  const auto run = [&window](const QString& macro) { return window.Execute(kCommand + macro); };

  QCOMPARE(run("JumpID(\"\",\"bootpage\")"), QString("ok"));  // names match without regard to case
  QCOMPARE(window.CurrentTopic(), QString("BootPage"));
  QCOMPARE(run("JumpID(\"C:\\WINDOWS\\HELP\\KOLPA.HLP\",\"Startup\")"), QString("ok"));
  QCOMPARE(window.CurrentTopic(), QString("Startup"));

  // Refusals leave the topic in view and say why in the status bar.
  const char* refused[] = {"JumpID(\"\",\"NoSuchPage\")",
                           "JumpID(\"Other.hlp\",\"MiscPage\")",
                           "JumpID(\"MiscPage\")",
                           "ExecProgram(\"rm -rf ~\",0)",
                           "JumpID(\"\",",
                           ""};
  for (const char* macro : refused) {
    QVERIFY2(run(macro).startsWith("error "), macro);
    QCOMPARE(window.CurrentTopic(), QString("Startup"));
    QVERIFY2(!window.statusBar()->currentMessage().isEmpty(), macro);
  }
  QVERIFY(window.statusBar()->currentMessage().contains("Непонятная команда справки"));
  QVERIFY(window.Execute("frobnicate").startsWith("error "));

  window.Execute(kFinder);
  QCOMPARE(window.Execute(kContents), QString("ok"));
  QCOMPARE(window.CurrentTopic(), QString("Contents"));
  QVERIFY(!window.Finder()->isVisible());  // what was asked for is not hidden behind the dialog
  QVERIFY(window.statusBar()->currentMessage().isEmpty());
}

void HelpViewerTest::helpFileIsFoundBesideTheProgramThenInShare() {
  QTemporaryDir root;
  QVERIFY(QDir(root.path()).mkpath("bin") && QDir(root.path()).mkpath("share/frambul"));
  const QString bin = root.filePath("bin");
  const auto touch = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
  };
  QCOMPARE(FindHelpFile("Kolpa.hlp", bin), QString());
  QVERIFY(touch(root.filePath("share/frambul/Kolpa.hlp")));
  QCOMPARE(FindHelpFile("Kolpa.hlp", bin), root.filePath("share/frambul/Kolpa.hlp"));
  QVERIFY(touch(root.filePath("bin/Kolpa.hlp")));
  QCOMPARE(FindHelpFile("Kolpa.hlp", bin), root.filePath("bin/Kolpa.hlp"));
  // A name with a folder is taken as it is, not looked for beside the program.
  QCOMPARE(FindHelpFile(root.filePath("share/frambul/Kolpa.hlp"), bin), root.filePath("share/frambul/Kolpa.hlp"));
  QCOMPARE(FindHelpFile(root.filePath("Kolpa.hlp"), bin), QString());
  QCOMPARE(FindHelpFile("", bin), QString());
  QVERIFY(QDir(root.path()).mkpath("bin/Dir.hlp"));
  QCOMPARE(FindHelpFile("Dir.hlp", bin), QString());
}

void HelpViewerTest::contentsThenJumpGiveOneViewerShowingTheTopic() {
  const QString path = QFileInfo(helpPath_).canonicalFilePath();
  QElapsedTimer clock;
  clock.start();
  QVERIFY(WinHelp(nullptr, path, HELP_CONTENTS, {}));
  QVERIFY(WinHelp(nullptr, path, HELP_COMMAND, "JumpID(\"\",\"Startup\")"));
  qInfo("contents with a viewer start, then a jump: %lld ms", clock.elapsed());

  const ViewerState state = StateOf(path);
  QCOMPARE(state.topic, QString("Startup"));
  QVERIFY(!state.finderOpen);
  QCOMPARE(ViewersOf(path), QList<qint64>{state.pid});

  // Another spelling of the same file reaches the same viewer.
  QVERIFY(QFile::link(path, dir_.filePath("Link.hlp")));
  QVERIFY(WinHelp(nullptr, dir_.filePath("Link.hlp"), HELP_FINDER, {}));
  QVERIFY(StateOf(path).finderOpen);
  QCOMPARE(ViewersOf(path), QList<qint64>{state.pid});

  // Refused requests report failure and change nothing.
  QVERIFY(!WinHelp(nullptr, path, HELP_COMMAND, "JumpID(\"\",\"NoSuchPage\")"));
  QVERIFY(!WinHelp(nullptr, path, 12345, {}));
  QCOMPARE(StateOf(path).topic, QString("Startup"));

  // Started by hand for a file that already has a viewer, the program hands over and ends.
  QCOMPARE(QProcess::execute(QCoreApplication::applicationDirPath() + "/frambul-help",
                             {"--macro", "JumpID(\"\",\"NetworkPage\")", path}),
           0);
  QCOMPARE(StateOf(path).topic, QString("NetworkPage"));
  QCOMPARE(ViewersOf(path), QList<qint64>{state.pid});

  EndViewers(path);
  QVERIFY(ViewersOf(path).isEmpty());
  QCOMPARE(StateOf(path).pid, 0);
}

void HelpViewerTest::failuresStartNoViewer() {
  const QString viewer = QCoreApplication::applicationDirPath() + "/frambul-help";
  QTemporaryDir dir;
  const QString missing = dir.filePath("Missing.hlp");
  const QString broken = dir.filePath("Broken.hlp");
  QFile file(broken);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("@topic Contents Содержание\nsee [[NoSuchTopic]]\n");
  file.close();

  QVERIFY(!WinHelp(nullptr, missing, HELP_CONTENTS, {}));
  QVERIFY(!WinHelp(nullptr, "NoSuchHelp.hlp", HELP_FINDER, {}));
  QVERIFY(!WinHelp(nullptr, broken, HELP_CONTENTS, {}));
  QVERIFY(ViewersOf(QFileInfo(broken).canonicalFilePath()).isEmpty());
  QVERIFY(!RunHelpCommand(viewer, dir.path(), HELP_CONTENTS, {}));   // a folder
  QVERIFY(!RunHelpCommand(viewer, "/dev/zero", HELP_CONTENTS, {}));  // endless, not a file

  // A viewer that cannot be started, or ends before it answers, is a failure, found quickly.
  const QString good = QFileInfo(helpPath_).canonicalFilePath();
  QVERIFY(!RunHelpCommand(dir.filePath("no-such-viewer"), good, HELP_CONTENTS, {}));
  QVERIFY(!RunHelpCommand(broken, good, HELP_CONTENTS, {}));  // not executable
  QElapsedTimer clock;
  clock.start();
  QVERIFY(!RunHelpCommand("/bin/true", good, HELP_CONTENTS, {}));
  QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
  QVERIFY(ViewersOf(good).isEmpty());
}

QTEST_MAIN(HelpViewerTest)
#include "help_viewer_test.moc"
