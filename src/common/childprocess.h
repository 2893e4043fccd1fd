#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs a platform tool as a child process, synchronously, with a bounded wait.
namespace dorv {

struct ChildResult {
    bool started = false;
    bool finished = false; // exited normally within the time limit
    int exitCode = -1;
    QByteArray output;      // standard output, when captured
    bool truncated = false; // output went past maxOutputBytes
};

struct ChildOptions {
    bool captureOutput = false;
    int timeoutMs = 10000;
    qint64 maxOutputBytes = 1 << 20; // extra output is read and dropped
};

// Never goes through a shell. stderr (and stdout unless captured) go to the null device.
// A child that overruns the time limit is killed and counts as not finished.
ChildResult runChild(const QString &program, const QStringList &arguments,
                     const ChildOptions &options = {});

} // namespace dorv
