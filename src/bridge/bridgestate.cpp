#include "bridgestate.h"

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

std::optional<BridgeState> bridgeStateFromText(QStringView text)
{
    for (auto state : {BridgeState::Connected, BridgeState::Connecting, BridgeState::Offline}) {
        if (text == toText(state))
            return state;
    }
    return std::nullopt;
}

} // namespace dorv
