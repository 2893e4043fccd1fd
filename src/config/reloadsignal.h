#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

// Tells the running bridge to re-read the project list: pgrep names the processes whose command
// line matches the bridge server's, and of those only the bridge itself gets SIGHUP.
namespace dorv::reload {

inline const QString kPgrepProgram = QStringLiteral("/usr/bin/pgrep");
inline const QString kPattern = QStringLiteral("chatwire-bridge.*server\\.py");

// The positive signed 32-bit numbers among pgrep's output lines, in order. Invalid UTF-8 counts
// as empty output.
QList<qint32> parsePids(const QByteArray &output);

// Whether a command line is the bridge's server: a Python interpreter whose script (its first
// argument that is not an option) is a server.py under a folder named chatwire-bridge…. An
// editor, a pager, `tail` or a shell that only names the file is not.
bool isBridgeServer(const QStringList &argv);

// Runs pgrep (bounded; a test names another program) and sends SIGHUP to each process it found
// that is this user's and the bridge's server. Reports nothing.
void sendSIGHUP(const QString &pgrepProgram = kPgrepProgram);

// What the system says of a running process (one small file per platform).
struct ProcessFacts {
    uid_t realUid;
    QStringList argv;
};
// Sends SIGHUP to `pid` if `accept` agrees to its facts; the facts and the signal are of the
// same process, even if `pid` is reused in between. Whether the signal was sent.
bool hangUpIf(qint32 pid, const std::function<bool(const ProcessFacts &)> &accept);

} // namespace dorv::reload
