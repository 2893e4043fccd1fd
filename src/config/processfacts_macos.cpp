#include "config/reloadsignal.h"

#include <QFile>

#include <csignal>
#include <cstring>
#include <optional>
#include <sys/sysctl.h>

namespace dorv::reload {

namespace {
// KERN_PROCARGS2: argc, the executable's path, padding, then argc strings.
std::optional<ProcessFacts> factsOf(qint32 pid)
{
    kinfo_proc info{};
    size_t size = sizeof info;
    int which[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    if (::sysctl(which, 4, &info, &size, nullptr, 0) != 0 || size == 0)
        return std::nullopt;
    int argsMax = 0;
    size = sizeof argsMax;
    int maxArgs[] = {CTL_KERN, KERN_ARGMAX};
    if (::sysctl(maxArgs, 2, &argsMax, &size, nullptr, 0) != 0)
        return std::nullopt;
    QByteArray buffer(argsMax, '\0');
    size = size_t(argsMax);
    int args[] = {CTL_KERN, KERN_PROCARGS2, pid};
    if (::sysctl(args, 3, buffer.data(), &size, nullptr, 0) != 0 || size < sizeof(int))
        return std::nullopt;
    buffer.truncate(qsizetype(size));
    int argc = 0;
    std::memcpy(&argc, buffer.constData(), sizeof argc);
    qsizetype at = buffer.indexOf('\0', sizeof argc); // past the executable's path
    while (at >= 0 && at < buffer.size() && buffer[at] == '\0')
        ++at;
    ProcessFacts facts{info.kp_eproc.e_pcred.p_ruid, {}};
    for (; argc > 0 && at >= 0 && at < buffer.size(); --argc) {
        const qsizetype end = buffer.indexOf('\0', at);
        facts.argv.append(QFile::decodeName(buffer.mid(at, end < 0 ? -1 : end - at)));
        at = end < 0 ? -1 : end + 1;
    }
    return facts;
}
} // namespace

bool hangUpIf(qint32 pid, const std::function<bool(const ProcessFacts &)> &accept)
{
    const std::optional<ProcessFacts> facts = factsOf(pid);
    return facts && accept(*facts) && ::kill(pid, SIGHUP) == 0;
}

} // namespace dorv::reload
