#include "app/traywatcher.h"

#include <QSystemTrayIcon>

namespace dorv {

namespace {
// Not every tray says when it comes (an XEmbed tray takes an X selection): look this often.
constexpr std::chrono::milliseconds kPollInterval{500};
} // namespace

TrayWatcher::TrayWatcher(QObject *parent) : QObject(parent)
{
    m_poll.setInterval(kPollInterval);
    m_wait.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &TrayWatcher::check);
    connect(&m_wait, &QTimer::timeout, this, &TrayWatcher::noTrayYet);
}

void TrayWatcher::watch(std::chrono::milliseconds wait)
{
    if (!mayAppearLater()) {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            Q_EMIT appeared();
        else
            Q_EMIT noTrayYet();
        return;
    }
    if (present()) {
        Q_EMIT appeared();
        return;
    }
    watchPlatform();
    m_poll.start();
    m_wait.start(wait);
}

void TrayWatcher::check()
{
    if (!m_poll.isActive() || !present())
        return;
    m_poll.stop();
    m_wait.stop();
    Q_EMIT appeared();
}

} // namespace dorv
