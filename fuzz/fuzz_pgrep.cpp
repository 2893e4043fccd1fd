// Any bytes as pgrep's output: parsing never crashes and never yields a number below 1, so no
// process group is ever signalled. The same bytes, split at NUL, as a command line: only an
// interpreter named python… running a server.py is ever taken for the bridge.
#include "config/reloadsignal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (qint32 pid : dorv::reload::parsePids(bytes)) {
        if (pid < 1)
            __builtin_trap();
    }
    QStringList argv;
    for (const QByteArray &arg : bytes.split('\0'))
        argv.append(QString::fromUtf8(arg));
    if (dorv::reload::isBridgeServer(argv) &&
        (!argv[0].section(u'/', -1).startsWith(QStringLiteral("python")) ||
         !argv.filter(QStringLiteral("/server.py")).size()))
        __builtin_trap();
    return 0;
}
