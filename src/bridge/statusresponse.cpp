#include "bridge/statusresponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace dorv {

namespace {

// Reads an optional member into *out. Returns false when it is present with the wrong type.
template <typename T, typename Convert>
bool optionalMember(const QJsonObject &object, QLatin1StringView name, std::optional<T> *out,
                    Convert convert)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined() || value.isNull())
        return true;
    *out = convert(value);
    return out->has_value();
}

} // namespace

std::optional<StatusResponse> StatusResponse::decode(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    StatusResponse response;
    // "ok" must be there and boolean; its value changes nothing.
    if (!object.value(QLatin1StringView("ok")).isBool())
        return std::nullopt;

    auto text = [](const QJsonValue &v) -> std::optional<QString> {
        if (v.isString())
            return v.toString();
        return std::nullopt;
    };
    auto textList = [](const QJsonValue &v) -> std::optional<QStringList> {
        if (!v.isArray())
            return std::nullopt;
        // Read in place: a non-const array would detach from the document, copying it whole.
        const QJsonArray array = v.toArray();
        QStringList list;
        list.reserve(array.size());
        for (const QJsonValue &item : array) {
            if (!item.isString())
                return std::nullopt;
            list.append(item.toString());
        }
        return list;
    };
    auto boolean = [](const QJsonValue &v) -> std::optional<bool> {
        if (v.isBool())
            return v.toBool();
        return std::nullopt;
    };
    auto number = [](const QJsonValue &v) -> std::optional<double> {
        if (v.isDouble())
            return v.toDouble();
        return std::nullopt;
    };
    auto integer = [](const QJsonValue &v) -> std::optional<qint64> {
        // toInteger() falls back to its default for fractions and values outside 64 bits;
        // two different defaults tell a real value from the fallback.
        if (!v.isDouble() || v.toInteger(0) != v.toInteger(1))
            return std::nullopt;
        return v.toInteger();
    };

    const bool decoded =
        optionalMember(object, QLatin1StringView("chatwire"), &response.chatwire, text) &&
        optionalMember(object, QLatin1StringView("active_project"), &response.activeProject,
                       text) &&
        optionalMember(object, QLatin1StringView("projects"), &response.projects, textList) &&
        optionalMember(object, QLatin1StringView("marvek_busy"), &response.marvekBusy, boolean) &&
        optionalMember(object, QLatin1StringView("context_pct"), &response.contextPct, number) &&
        optionalMember(object, QLatin1StringView("queued"), &response.queued, integer);
    if (!decoded)
        return std::nullopt;
    return response;
}

} // namespace dorv
