#pragma once

#include "bridge/bridgestate.h"

#include <QStringList>
#include <optional>

// The bridge as one status reply (or failure) left it: what the icon, the panel and the tray
// menu draw from.
namespace dorv {

struct BridgeSnapshot {
    BridgeState state = BridgeState::Offline;
    QString activeProject;
    QStringList projects;
    bool marvekBusy = false;
    std::optional<double> contextPct;
    qint64 queued = 0;

    bool operator==(const BridgeSnapshot &) const = default;
};

} // namespace dorv
