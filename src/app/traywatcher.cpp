#include "app/traywatcher.h"

#include <QSystemTrayIcon>

namespace dorv {

namespace {
// Not every tray says when it comes (an XEmbed tray takes an X selection): look this often while
// the desktop is still starting, then seldom (a desktop without a tray is no rare thing).
constexpr std::chrono::milliseconds kPollInterval{500};
constexpr std::chrono::seconds kStartingDesktop{60};
constexpr std::chrono::seconds kSeldomInterval{5};
} // namespace

TrayWatcher::TrayWatcher(QObject *parent) : QObject(parent)
{
    m_poll.setInterval(kPollInterval);
    m_wait.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &TrayWatcher::check);
    connect(&m_wait, &QTimer::timeout, this, &TrayWatcher::noTrayYet);
    connect(&m_wait, &QTimer::timeout, this, [this] {
        QTimer::singleShot(kStartingDesktop, this, [this] { m_poll.setInterval(kSeldomInterval); });
    });
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
