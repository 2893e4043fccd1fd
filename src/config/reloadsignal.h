#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Tells the running bridge to re-read the project list: SIGHUP to every process whose command
// line matches the bridge server's, as found by pgrep.
namespace dorv::reload {

inline const QString kPgrepProgram = QStringLiteral("/usr/bin/pgrep");
inline const QString kPattern = QStringLiteral("chatwire-bridge.*server\\.py");

// The positive signed 32-bit numbers among pgrep's output lines, in order. Invalid UTF-8 counts
// as empty output.
QList<qint32> parsePids(const QByteArray &output);

// Runs pgrep (bounded; a test names another program) and signals what it found. Reports
// nothing.
void sendSIGHUP(const QString &pgrepProgram = kPgrepProgram);

} // namespace dorv::reload
