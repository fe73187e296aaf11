#pragma once
// How callers find a help file and talk to the viewer that shows it. Each help file
// has at most one viewer per user, listening on a local socket whose name comes from
// the user and the file's canonical path. A request is one string, answered by one
// string: "ok" (with details after a blank for "state") or "error <why>".

#include <QByteArray>
#include <QString>
#include <optional>

class QIODevice;

namespace frambul::ui::help {

// Requests understood by the viewer.
inline constexpr char kContents[] = "contents";  // show the contents topic
inline constexpr char kFinder[] = "finder";      // open the topics dialog
inline constexpr char kCommand[] = "command ";   // followed by the text of a help macro
inline constexpr char kState[] = "state";        // answered "ok <pid> <topic> <topics dialog open: 0|1>"
inline constexpr char kQuit[] = "quit";          // close the viewer

// Where the help file `name` is: a bare name is looked for beside the program in
// `programDir`, then in ../share/frambul/ relative to it; a name with a folder is taken
// as given. Empty when no such file exists.
QString FindHelpFile(const QString& name, const QString& programDir);

// The bytes of the help file at `path`; nothing when it is not a regular file, cannot be
// read or is too large to be a help file.
std::optional<QByteArray> ReadHelpFile(const QString& path);

// The local server name of this user's viewer of the help file at `canonicalPath`.
QString ViewerServerName(const QString& canonicalPath);

// True for an "ok" answer.
bool IsOk(const QString& answer);

struct Answer {
  bool connected = false;        // a viewer was listening
  std::optional<QString> reply;  // what it answered, if it did in time
};

// Sends one request to the viewer at `serverName` and waits up to `timeoutMs` for its answer.
Answer SendRequest(const QString& serverName, const QString& request, int timeoutMs);

// One message on a local socket, in both directions: a length-prefixed UTF-16 string.
void WriteMessage(QIODevice& socket, const QString& message);
// The next whole message, or nothing while it has not all arrived.
std::optional<QString> ReadMessage(QIODevice& socket);

}  // namespace frambul::ui::help
