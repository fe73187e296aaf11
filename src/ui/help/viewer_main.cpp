// frambul-help: shows a help file. One viewer runs per help file and user; a second
// start for the same file hands its request to the running viewer and ends.
//
//   frambul-help [--finder | --macro TEXT] [FILE]
//
// FILE defaults to Kolpa.hlp; a bare name is looked for beside this program, then in
// ../share/frambul/. Exit status: 0 done, 1 the file cannot be opened or read,
// 2 no viewer could be set up for it.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMessageBox>
#include <cstdio>

#include "ui/help/help_channel.h"
#include "ui/help/help_file.h"
#include "ui/help/help_window.h"
#include "ui/look.h"

namespace {

using namespace frambul::ui::help;

constexpr int kForwardTimeoutMs = 3000;
constexpr int kLockTimeoutMs = 10000;  // another viewer of the file holds it at most while it starts
constexpr size_t kMaxProblemsShown = 10;

int Fail(int status, const QString& message) {
  std::fprintf(stderr, "frambul-help: %s\n", qPrintable(message));
  QMessageBox::critical(nullptr, "Справка", message);
  return status;
}

QString Describe(const Diagnostic& problem) {
  QString text = problem.line > 0 ? QStringLiteral("строка %1: ").arg(problem.line) : QString();
  text += QString::fromStdString(problem.message);
  if (!problem.lineText.empty()) text += "\n    " + QString::fromStdString(problem.lineText);
  return text;
}

// Answers each caller's request through the window, one request per connection.
void Serve(QLocalServer& server, HelpWindow& window) {
  QObject::connect(&server, &QLocalServer::newConnection, &window, [&server, &window] {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, &window, [socket, &window] {
        const std::optional<QString> request = ReadMessage(*socket);
        if (!request) return;
        WriteMessage(*socket, window.Execute(*request));
        socket->flush();
        socket->disconnectFromServer();
      });
    }
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("frambul-help");
  frambul::ui::ApplyClassicLook(app);
  frambul::ui::UseRussianQtTexts(app);

  QCommandLineParser options;
  options.setApplicationDescription("Просмотр файла справки.");
  options.addHelpOption();
  options.addPositionalArgument("file", "Файл справки (по умолчанию Kolpa.hlp).", "[file]");
  const QCommandLineOption finderOption("finder", "Открыть список разделов.");
  const QCommandLineOption macroOption("macro", "Выполнить команду справки, например JumpID(\"\",\"MiscPage\").",
                                       "text");
  options.addOption(finderOption);
  options.addOption(macroOption);
  options.process(app);

  const QStringList names = options.positionalArguments();
  const QString name = names.isEmpty() ? QStringLiteral("Kolpa.hlp") : names.first();
  const QString path = QFileInfo(FindHelpFile(name, QApplication::applicationDirPath())).canonicalFilePath();
  const std::optional<QByteArray> bytes = path.isEmpty() ? std::nullopt : ReadHelpFile(path);
  if (!bytes) return Fail(1, "Не удалось открыть файл справки «" + name + "».");
  ParseResult parsed =
      ParseHelpFile(std::string_view(bytes->constData(), static_cast<size_t>(bytes->size())), path.toStdString());
  if (!parsed.problems.empty()) {
    QString message = "Файл справки «" + path + "» испорчен:";
    for (size_t i = 0; i < parsed.problems.size() && i < kMaxProblemsShown; ++i) {
      message += "\n" + Describe(parsed.problems[i]);
    }
    return Fail(1, message);
  }

  QString request = kContents;
  if (options.isSet(finderOption)) request = kFinder;
  if (options.isSet(macroOption)) request = kCommand + options.value(macroOption);

  // The lock makes "is a viewer listening, else become it" one step, so two viewers
  // started together for one file cannot both begin to listen.
  const QString serverName = ViewerServerName(path);
  QLockFile lock(QDir(QDir::tempPath()).filePath(serverName + ".lock"));
  if (!lock.tryLock(kLockTimeoutMs))
    return Fail(2, "Не удалось запустить просмотр справки: другой просмотр этого файла не отвечает.");
  const Answer answer = SendRequest(serverName, request, kForwardTimeoutMs);
  if (answer.connected) return answer.reply && IsOk(*answer.reply) ? 0 : 2;

  HelpWindow window(std::move(parsed.help), path);
  QLocalServer server;
  server.setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(serverName);  // a socket left behind by a viewer that crashed
  if (!server.listen(serverName)) {
    return Fail(2, "Не удалось запустить просмотр справки: " + server.errorString());
  }
  lock.unlock();
  Serve(server, window);
  window.show();
  if (request != kContents) window.Execute(request);
  return app.exec();
}
