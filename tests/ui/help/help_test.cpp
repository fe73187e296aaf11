// The help: the file format's parser and macro reader, the shipped Kolpa.hlp, and
// the help call against the real frambul-help program built beside this test.

#include <signal.h>

#include <QtTest>
#include <QtWidgets>

#include "ui/help/help_channel.h"
#include "ui/help/help_file.h"
#include "ui/help/help_macro.h"
#include "ui/help/win_help.h"

using namespace frambul::ui;
using namespace frambul::ui::help;

class HelpTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid() && QFile::copy(KOLPA_HLP, dir_.filePath("Kolpa.hlp")));
    help_ = QFileInfo(dir_.filePath("Kolpa.hlp")).canonicalFilePath();
  }
  void cleanup() { QVERIFY(EndViewers(help_)); }

  // Each bad line is reported with its number, text and fault; reading goes on past it, so that
  // several faults are reported at once and the sound topics are still read.
  void parserReportsEveryBadLineWithItsPlace() {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"stray text\n@topic A T\n", 1, "до первого раздела"},
        {"@topic A T\n@topic a Again\n", 2, "уже есть"},
        {"@topic A/B T\n@topic B T\n", 1, "недопустимое имя раздела"},
        {"@topic A\n@topic B T\n", 1, "нет заголовка"},
        {"@topic A T\n@include x\n", 2, "неизвестная команда «@include»"},
        {"@topic A T\nsome **bold\n", 2, "не закрыто «**»"},
        {"@topic A T\nsome `code\n", 2, "не закрыто «`»"},
        {"@topic A T\nsee [[]]\n", 2, "пустая разметка"},
        {"@topic A T\nsee [[B|the b topic]]\n", 2, "несуществующему разделу «B»"},
        {"@topic A T\n\xD0\n", 2, "UTF-8"},
        {"@topic A T\n\xC0\xAF overlong\n", 2, "UTF-8"},
        {"@topic A T\n\xED\xA0\x80 surrogate\n", 2, "UTF-8"},
        {"@topic A T\n@title Late\n", 2, "после начала разделов"},
        {"; only a comment\n", 0, "нет ни одного раздела"},
    };
    for (const auto& [text, line, fault] : cases) {
      const ParseResult result = ParseHelpFile(text, "t.hlp");
      QVERIFY2(result.problems.size() == 1, text);
      const Diagnostic& problem = result.problems[0];
      QCOMPARE(QString::fromStdString(problem.file + ":" + std::to_string(problem.line) + ": " + problem.lineText),
               QString("t.hlp:%1: %2").arg(line).arg(line == 0 ? "" : QByteArray(text).split('\n')[line - 1]));
      QVERIFY2(problem.message.find(fault) != std::string::npos, problem.message.c_str());
    }
    const ParseResult many = ParseHelpFile("@topic A T\n**x\n@topic B\n[[Z]] and `y\n@topic C Fine\n", "t.hlp");
    QVERIFY(many.problems.size() == 4 && many.help.Find("c") != nullptr);
  }

  // A call's name and arguments, quoted or bare, with blanks and one ";" around them.
  void macroReaderTakesCallsAndRejectsMalformedText() {
    const std::tuple<const char*, std::string, std::vector<std::string>> calls[] = {
        {"JumpID(\"\",\"MiscPage\")", "JumpID", {"", "MiscPage"}},
        {"  jumpid ( \"C:\\HELP\\Kolpa.hlp\" , Startup ) ; ", "jumpid", {"C:\\HELP\\Kolpa.hlp", "Startup"}},
    };
    for (const auto& [text, name, args] : calls) {
      const std::optional<Macro> macro = ParseMacro(text);
      QVERIFY2(macro && macro->name == name && macro->args == args, text);
    }
    for (const char* bad :
         {"", "JumpID", "JumpID(", "JumpID(\"a\",\"b\"", "JumpID(\"a\",)", "JumpID(\"a\" \"b\")", "JumpID(\"a\",\"b) ",
          "JumpID(\"\",\"b\") extra", "(\"a\")", "Jump ID(\"a\")", "JumpID(\"a\");;"}) {
      QVERIFY2(!ParseMacro(bad), bad);
    }
  }

  // The contents and a topic under each page's name; the parser checks every jump's
  // target, so a file without problems has no broken jump.
  void shippedHelpFileHasTheContentsAndEveryPageTopic() {
    const ParseResult result = ParseHelpFile(ReadHelpFile(KOLPA_HLP).value_or(QByteArray()).toStdString(), KOLPA_HLP);
    QVERIFY2(result.problems.empty(), result.problems.empty() ? "" : result.problems[0].message.c_str());
    for (const char* page : {"MiscPage", "UsefulPage", "BootPage", "Startup", "NetworkPage", "UninstallPage"}) {
      QVERIFY2(result.help.Find(page) != nullptr && result.help.Find(page)->id == page, page);
    }
  }

  // Contents starts one viewer, which the topics dialog (by another spelling of the path), jumps and the program
  // started by hand all reach; a jump puts the dialog away, a refused one changes nothing.
  void contentsThenJumpGiveOneViewerShowingTheTopic() {
    QVERIFY(WinHelp(nullptr, help_, HELP_CONTENTS, {}));
    QVERIFY(QFile::link(help_, dir_.filePath("Link.hlp")));
    QVERIFY(WinHelp(nullptr, dir_.filePath("Link.hlp"), HELP_FINDER, {}));
    QCOMPARE(StateOf(help_), "Contents 1");
    QVERIFY(WinHelp(nullptr, help_, HELP_COMMAND, "JumpID(\"\",\"Startup\")"));
    QVERIFY(!WinHelp(nullptr, help_, HELP_COMMAND, "JumpID(\"\",\"NoSuchPage\")"));
    QCOMPARE(StateOf(help_), "Startup 0");
    QVERIFY(QProcess::execute(QCoreApplication::applicationDirPath() + "/frambul-help",
                              {"--macro", "JumpID(\"\",\"NetworkPage\")", help_}) == 0);
    QCOMPARE(StateOf(help_), "NetworkPage 0");
    QCOMPARE(ViewersOf(help_).size(), 1);
  }

  // A missing, broken or endless help file, or a viewer that cannot start or ends before it
  // answers, is a failure, found before a viewer's start time is out, with no viewer left.
  void failuresStartNoViewer() {
    QFile broken(dir_.filePath("Broken.hlp"));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("@topic Contents Т\nsee [[Nowhere]]\n") > 0 &&
            broken.flush());
    for (const QString& file : {dir_.filePath("Missing.hlp"), broken.fileName(), dir_.path(), QString("/dev/zero")}) {
      QVERIFY2(!WinHelp(nullptr, file, HELP_CONTENTS, {}), qPrintable(file));
    }
    QVERIFY(ViewersOf(QFileInfo(broken).canonicalFilePath()).isEmpty());
    QElapsedTimer clock;
    clock.start();
    for (const QString& program : {dir_.filePath("no-such-viewer"), broken.fileName(), QString("/bin/true")}) {
      QVERIFY2(!RunHelpCommand(program, help_, HELP_CONTENTS, {}), qPrintable(program));
    }
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
  }

 private:
  // What the viewer of `path` shows: "<topic> <topics dialog open: 0|1>"; empty when none answers.
  static QString StateOf(const QString& path) {
    const QStringList parts = SendRequest(ViewerServerName(path), kState, 3000).reply.value_or(QString()).split(' ');
    return parts.size() == 4 && parts[0] == "ok" ? parts[2] + ' ' + parts[3] : QString();
  }

  // The viewer processes running for the help file at `path`: their command line is the program, then the file.
  static QList<qint64> ViewersOf(const QString& path) {
    const QByteArray tail = "/frambul-help" + QByteArray(1, '\0') + path.toUtf8() + QByteArray(1, '\0');
    QList<qint64> pids;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
      QFile cmdline("/proc/" + entry + "/cmdline");
      if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().endsWith(tail)) pids << entry.toLongLong();
    }
    return pids;
  }

  // Asks the viewers of `path` to quit; true when they all did. Those still there are killed.
  static bool EndViewers(const QString& path) {
    SendRequest(ViewerServerName(path), kQuit, 3000);
    const bool ended = QTest::qWaitFor([&path] { return ViewersOf(path).isEmpty(); }, 3000);
    for (qint64 pid : ViewersOf(path)) ::kill(static_cast<pid_t>(pid), SIGKILL);
    return ended;
  }

  QTemporaryDir dir_;
  QString help_;  // the canonical path of a copy of the shipped help file
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
