#include "common/childprocess.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace dorv {

namespace {
// Keeps the first `limit` bytes of a stream; the rest is read (so the child never blocks on a
// full pipe) and dropped.
void keep(QByteArray &kept, const QByteArray &chunk, qint64 limit, bool *truncated = nullptr)
{
    const qint64 room = limit - kept.size();
    if (chunk.size() > room && truncated)
        *truncated = true;
    if (room > 0)
        kept.append(chunk.left(room));
}
} // namespace

ChildResult runChild(const QString &program, const QStringList &arguments,
                     const ChildOptions &options)
{
    ChildResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!options.captureErrors)
        process.setStandardErrorFile(QProcess::nullDevice());
    if (!options.captureOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setReadChannel(options.captureOutput ? QProcess::StandardOutput
                                                 : QProcess::StandardError);

    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(options.timeoutMs))
        return result;
    result.started = true;

    QDeadlineTimer deadline(options.timeoutMs);
    auto drain = [&] {
        if (options.captureOutput)
            keep(result.output, process.readAllStandardOutput(), options.maxOutputBytes,
                 &result.truncated);
        if (options.captureErrors)
            keep(result.errors, process.readAllStandardError(), options.maxErrorBytes);
    };
    if (options.captureOutput || options.captureErrors) {
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            process.waitForReadyRead(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))));
            drain();
        }
        if (process.state() == QProcess::NotRunning)
            drain();
    } else {
        process.waitForFinished(options.timeoutMs);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        result.output.clear();
        result.truncated = false;
        return result;
    }
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = result.finished ? process.exitCode() : -1;
    return result;
}

} // namespace dorv
