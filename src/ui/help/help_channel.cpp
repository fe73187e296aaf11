#include "ui/help/help_channel.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

namespace frambul::ui::help {

QString FindHelpFile(const QString& name, const QString& programDir) {
  if (name.isEmpty()) return {};
  QStringList candidates;
  if (name.contains(QLatin1Char('/'))) {
    candidates << name;
  } else {
    candidates << QDir(programDir).filePath(name) << QDir(programDir).filePath("../share/frambul/" + name);
  }
  for (const QString& candidate : candidates) {
    const QFileInfo info(candidate);
    if (info.isFile()) return QDir::cleanPath(info.absoluteFilePath());
  }
  return {};
}

std::optional<QByteArray> ReadHelpFile(const QString& path) {
  constexpr qint64 kMaxBytes = 4 << 20;  // many times any help file; keeps a wrong path from filling memory
  const QFileInfo info(path);
  QFile file(path);
  if (!info.isFile() || info.size() > kMaxBytes || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.read(kMaxBytes + 1);
  if (bytes.size() > kMaxBytes || file.error() != QFileDevice::NoError) return std::nullopt;
  return bytes;
}

QString ViewerServerName(const QString& canonicalPath) {
  // The socket lives in the shared temporary folder, so the name carries the user;
  // the path is hashed to keep the name short and free of slashes.
  const QByteArray hash = QCryptographicHash::hash(canonicalPath.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
  return QStringLiteral("frambul-help-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool IsOk(const QString& answer) { return answer == "ok" || answer.startsWith("ok "); }

Answer SendRequest(const QString& serverName, const QString& request, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.connectToServer(serverName);
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return {};
  Answer answer{true, std::nullopt};
  WriteMessage(socket, request);
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return answer;
  while (!(answer.reply = ReadMessage(socket))) {
    if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
  }
  return answer;
}

void WriteMessage(QLocalSocket& socket, const QString& message) {
  QDataStream stream(&socket);
  stream.setVersion(QDataStream::Qt_6_0);
  stream << message;
}

std::optional<QString> ReadMessage(QLocalSocket& socket) {
  QDataStream stream(&socket);
  stream.setVersion(QDataStream::Qt_6_0);
  stream.startTransaction();
  QString message;
  stream >> message;
  if (!stream.commitTransaction()) return std::nullopt;
  return message;
}

}  // namespace frambul::ui::help
