// Any bytes as a status reply body: decoding never crashes, and an accepted body is one JSON
// object with a boolean "ok".
#include "bridge/statusresponse.h"

#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto decoded = dorv::StatusResponse::decode(body);
    if (decoded) {
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        if (!doc.isObject() || !doc.object().value(QLatin1StringView("ok")).isBool())
            __builtin_trap();
        if (decoded->projects) {
            for (const QString &p : *decoded->projects)
                (void)p.size();
        }
    }
    return 0;
}
