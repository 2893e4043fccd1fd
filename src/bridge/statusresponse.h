#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The decoded body of a GET /status reply.
namespace dorv {

struct StatusResponse {
    std::optional<QString> chatwire;
    std::optional<QString> activeProject;
    std::optional<QStringList> projects;
    std::optional<bool> marvekBusy;
    std::optional<double> contextPct;
    std::optional<qint64> queued;

    // One JSON object; "ok" present and boolean; optional members absent or null give no value;
    // a present member of the wrong type fails the whole reply; unknown members are ignored.
    static std::optional<StatusResponse> decode(const QByteArray &body);
};

} // namespace dorv
