#pragma once

#include <QString>
#include <optional>

// The bridge's condition as the utility sees it.
namespace dorv {

enum class BridgeState { Connected, Connecting, Offline };

QString toText(BridgeState state);
// Exactly "connected", "connecting" or "offline", case-sensitive; anything else gives no value.
std::optional<BridgeState> bridgeStateFromText(QStringView text);

} // namespace dorv
