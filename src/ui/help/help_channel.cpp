#include "ui/help/help_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace frambul::ui::help {
namespace {

// Waits until the socket has something to read, or the deadline passes.
bool WaitToRead(int fd, const QDeadlineTimer& deadline) {
  pollfd wait{fd, POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&wait, 1, static_cast<int>(std::max<qint64>(0, deadline.remainingTime())));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

// The whole message that `bytes` begin with, or nothing while some of it is missing.
std::optional<QString> MessageIn(QByteArray bytes) {
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  return ReadMessage(buffer);
}

}  // namespace

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

// The viewer's QLocalServer listens on a socket file of that name in the temporary
// folder. The caller reaches it with the plain socket calls: QLocalSocket would bring
// in Qt's network library and its own, whose loading slows every start of the program.
Answer SendRequest(const QString& serverName, const QString& request, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = QFile::encodeName(QDir(QDir::tempPath()).filePath(serverName));
  if (path.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return {};
  std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  const auto closeSocket = qScopeGuard([fd] { ::close(fd); });
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};

  Answer answer{true, std::nullopt};
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  WriteMessage(out, request);
  for (qsizetype sent = 0; sent < out.data().size();) {
    const ssize_t n = ::send(fd, out.data().constData() + sent, static_cast<size_t>(out.data().size() - sent),
                             MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return answer;
    sent += n;
  }
  QByteArray received;
  while (!(answer.reply = MessageIn(received))) {
    char bytes[4096];
    if (!WaitToRead(fd, deadline)) break;
    const ssize_t n = ::recv(fd, bytes, sizeof bytes, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    received.append(bytes, n);
  }
  return answer;
}

void WriteMessage(QIODevice& socket, const QString& message) {
  QDataStream stream(&socket);
  stream.setVersion(QDataStream::Qt_6_0);
  stream << message;
}

std::optional<QString> ReadMessage(QIODevice& socket) {
  QDataStream stream(&socket);
  stream.setVersion(QDataStream::Qt_6_0);
  stream.startTransaction();
  QString message;
  stream >> message;
  if (!stream.commitTransaction()) return std::nullopt;
  return message;
}

}  // namespace frambul::ui::help
