// Any bytes as pgrep's output: parsing never crashes and never yields a number below 1, so no
// process group is ever signalled.
#include "config/reloadsignal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto pids =
        dorv::reload::parsePids(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (qint32 pid : pids) {
        if (pid < 1)
            __builtin_trap();
    }
    return 0;
}
