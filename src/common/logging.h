#pragma once

#include <QLoggingCategory>

// The program's log categories. Messages at info level and above show by default and are
// written once when a failure starts and once when it ends; debug messages (every poll, every
// command) show with --verbose or QT_LOGGING_RULES="dorv.*.debug=true".
namespace dorv {

Q_DECLARE_LOGGING_CATEGORY(lcBridge)  // dorv.bridge: polls, replies, commands
Q_DECLARE_LOGGING_CATEGORY(lcConfig)  // dorv.config: the project list file, the reload signal
Q_DECLARE_LOGGING_CATEGORY(lcService) // dorv.service: the bridge's user service
Q_DECLARE_LOGGING_CATEGORY(lcUi)      // dorv.ui: the tray, the panel, the editor

} // namespace dorv
