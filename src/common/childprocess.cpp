#include "common/childprocess.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace dorv {

ChildResult runChild(const QString &program, const QStringList &arguments,
                     const ChildOptions &options)
{
    ChildResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!options.captureOutput)
        process.setStandardOutputFile(QProcess::nullDevice());

    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(options.timeoutMs))
        return result;
    result.started = true;

    QDeadlineTimer deadline(options.timeoutMs);
    if (options.captureOutput) {
        // Drain the pipe while waiting so a chatty child cannot block on a full pipe.
        auto take = [&](const QByteArray &chunk) {
            const qint64 room = options.maxOutputBytes - result.output.size();
            if (chunk.size() > room)
                result.truncated = true;
            if (room > 0)
                result.output.append(chunk.left(room));
        };
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            process.waitForReadyRead(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))));
            take(process.readAllStandardOutput());
        }
        if (process.state() == QProcess::NotRunning)
            take(process.readAllStandardOutput());
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
