#pragma once

#include "bridge/bridgesnapshot.h"

#include <QSet>

// What the panel and the tray menu show, decided in one place from the bridge's status, whether
// its service runs and which commands are still out.
namespace dorv {

// The commands a press started that take no second press yet.
struct BusyCommands {
    bool newSession = false;
    QSet<QString> projects; // switches to these projects

    bool operator==(const BusyCommands &) const = default;
};

struct ShownState {
    BridgeSnapshot status;
    bool switchOn = false;      // the Bridge switch: whether the bridge's service runs
    bool projectsShown = false; // the bridge answers and lists projects
    QString marked;             // rows with exactly this name are marked active
    bool newSessionEnabled = false;
    BusyCommands busy;

    bool operator==(const ShownState &) const = default;
};

ShownState shownState(const BridgeSnapshot &status, bool serviceRunning,
                      const BusyCommands &busy = {});

} // namespace dorv
