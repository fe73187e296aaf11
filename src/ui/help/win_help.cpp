#include "ui/help/win_help.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <optional>

#include "ui/help/help_channel.h"
#include "ui/help/help_file.h"

namespace frambul::ui {
namespace help {
namespace {

constexpr int kStartTimeoutMs = 5000;  // how long a fresh viewer has to start listening
constexpr int kAnswerTimeoutMs = 3000;

std::optional<QString> RequestFor(unsigned command, const QString& data) {
  switch (command) {
    case HELP_CONTENTS: return QString(kContents);
    case HELP_FINDER: return QString(kFinder);
    case HELP_COMMAND: return QString(kCommand) + data;
    default: return std::nullopt;
  }
}

bool IsSoundHelpFile(const QString& path) {
  const std::optional<QByteArray> bytes = ReadHelpFile(path);
  return bytes &&
         ParseHelpFile(std::string_view(bytes->constData(), static_cast<size_t>(bytes->size())), path.toStdString())
             .problems.empty();
}

bool IsRunning(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0; }

}  // namespace

bool RunHelpCommand(const QString& viewerProgram, const QString& helpFile, unsigned command, const QString& data) {
  const std::optional<QString> request = RequestFor(command, data);
  const QString path = helpFile.isEmpty() ? QString() : QFileInfo(helpFile).canonicalFilePath();
  if (!request || path.isEmpty()) return false;
  const QString server = ViewerServerName(path);

  Answer answer = SendRequest(server, *request, kAnswerTimeoutMs);
  if (answer.connected) return answer.reply && IsOk(*answer.reply);

  // No viewer yet. A broken file would only make the viewer show an error and stay
  // up until the user closes it, so it is turned down here instead.
  if (!IsSoundHelpFile(path)) return false;
  qint64 pid = 0;
  if (!QProcess::startDetached(viewerProgram, {path}, QDir::rootPath(), &pid)) return false;
  const QDeadlineTimer deadline(kStartTimeoutMs);
  while (!deadline.hasExpired()) {
    const bool running = IsRunning(pid);
    answer = SendRequest(server, *request, kAnswerTimeoutMs);
    if (answer.connected) return answer.reply && IsOk(*answer.reply);
    if (!running) return false;
    QThread::msleep(20);
  }
  return false;
}

}  // namespace help

bool WinHelp(QWidget* /*owner*/, const QString& file, unsigned command, const QString& data) {
  // The viewer is a program of its own with its own top-level window, so the owner
  // window plays no part here.
  const QString programDir = QCoreApplication::applicationDirPath();
  return help::RunHelpCommand(QDir(programDir).filePath("frambul-help"), help::FindHelpFile(file, programDir), command,
                              data);
}

}  // namespace frambul::ui
