#pragma once

#include <QString>

// The bridge's condition as the utility sees it.
namespace dorv {

enum class BridgeState { Connected, Connecting, Offline };

QString toText(BridgeState state);

} // namespace dorv
