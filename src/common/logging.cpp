#include "common/logging.h"

namespace dorv {

Q_LOGGING_CATEGORY(lcBridge, "dorv.bridge", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConfig, "dorv.config", QtInfoMsg)
Q_LOGGING_CATEGORY(lcService, "dorv.service", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "dorv.ui", QtInfoMsg)

} // namespace dorv
