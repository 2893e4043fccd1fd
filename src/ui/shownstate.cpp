#include "ui/shownstate.h"

namespace dorv {

ShownState shownState(const BridgeSnapshot &status, bool serviceRunning, const BusyCommands &busy)
{
    // While the bridge does not answer, what it last said stays in the model but is not shown.
    const bool answers = status.state != BridgeState::Offline;
    return {.status = status,
            .switchOn = serviceRunning,
            .projectsShown = answers && !status.projects.isEmpty(),
            .marked = status.activeProject,
            .newSessionEnabled = answers && !status.activeProject.isEmpty(),
            .busy = busy};
}

} // namespace dorv
