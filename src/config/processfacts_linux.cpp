#include "config/reloadsignal.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <optional>
#include <sys/syscall.h>
#include <unistd.h>

namespace dorv::reload {

namespace {
QByteArray readProc(qint32 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1StringView(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<ProcessFacts> factsOf(qint32 pid)
{
    QByteArray cmdline = readProc(pid, "cmdline");
    const QByteArray status = readProc(pid, "status");
    const qsizetype uid = status.indexOf("\nUid:");
    if (cmdline.isEmpty() || uid < 0)
        return std::nullopt;
    bool ok = false;
    const uint realUid = status.mid(uid + 5).trimmed().split('\t').value(0).toUInt(&ok);
    if (!ok)
        return std::nullopt;
    ProcessFacts facts{uid_t(realUid), {}};
    if (cmdline.endsWith('\0'))
        cmdline.chop(1);
    for (const QByteArray &arg : cmdline.split('\0'))
        facts.argv.append(QFile::decodeName(arg));
    return facts;
}
} // namespace

// A pidfd holds on to the process: read after it is opened, /proc describes that same process
// or none, and the signal cannot reach another one that took the number since.
bool hangUpIf(qint32 pid, const std::function<bool(const ProcessFacts &)> &accept)
{
    // Called through syscall(): Debian 12's C library declares the wrappers for C only.
    const int handle = int(::syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0 && errno != ESRCH) { // no pidfds here (an old kernel, a sandbox): check, signal
        const std::optional<ProcessFacts> facts = factsOf(pid);
        return facts && accept(*facts) && ::kill(pid, SIGHUP) == 0;
    }
    if (handle < 0)
        return false;
    const std::optional<ProcessFacts> facts = factsOf(pid);
    const bool sent = facts && accept(*facts) &&
                      ::syscall(SYS_pidfd_send_signal, handle, SIGHUP, nullptr, 0) == 0;
    ::close(handle);
    return sent;
}

} // namespace dorv::reload
