#include "service/launchagentcontroller.h"

namespace dorv {

// Linux has no launchd: the bridge runs as a systemd user unit of the same name.
ServiceCommand LaunchAgentController::command(ServiceOperation operation) const
{
    return systemctlCommand(operation);
}

} // namespace dorv
