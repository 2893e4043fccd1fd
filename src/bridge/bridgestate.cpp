#include "bridge/bridgestate.h"

namespace dorv {

QString toText(BridgeState state)
{
    switch (state) {
    case BridgeState::Connected:
        return QStringLiteral("connected");
    case BridgeState::Connecting:
        return QStringLiteral("connecting");
    case BridgeState::Offline:
        break;
    }
    return QStringLiteral("offline");
}

} // namespace dorv
