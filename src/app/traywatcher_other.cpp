#include "app/traywatcher.h"

// macOS and Windows: the menu bar or the notification area is part of the desktop itself, so
// Qt's answer at start is final.
namespace dorv {

bool TrayWatcher::mayAppearLater() const
{
    return false;
}

void TrayWatcher::watchPlatform() {}

bool TrayWatcher::present() const
{
    return false;
}

} // namespace dorv
