#include "service/launchagentcontroller.h"

#include <unistd.h>

namespace dorv {

// The domain of "bootstrap" is built afresh on each call.
ServiceCommand LaunchAgentController::command(ServiceOperation operation) const
{
    return launchctlCommand(operation, ::getuid(), m_plistPath);
}

} // namespace dorv
