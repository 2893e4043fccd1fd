#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs a platform tool as a child process, synchronously, with a bounded wait.
namespace dorv {

// How long a platform tool may take before it is killed and counts as failed.
constexpr int kChildTimeoutMs = 10000;

struct ChildResult {
    bool started = false;
    bool finished = false; // exited normally within the time limit
    int exitCode = -1;
    QByteArray output;      // standard output, when captured
    bool truncated = false; // output went past maxOutputBytes
    QByteArray errors;      // the start of standard error, when captured
};

struct ChildOptions {
    bool captureOutput = false;
    bool captureErrors = false;
    int timeoutMs = kChildTimeoutMs;
    qint64 maxOutputBytes = 1 << 20; // extra output is read and dropped
    qint64 maxErrorBytes = 1024;     // the same for standard error
};

// Never goes through a shell. What is not captured goes to the null device. A child that
// overruns the time limit is killed and counts as not finished.
ChildResult runChild(const QString &program, const QStringList &arguments,
                     const ChildOptions &options = {});

} // namespace dorv
