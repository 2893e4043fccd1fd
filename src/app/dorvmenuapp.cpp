#include "app/dorvmenuapp.h"

#include "app/panelwindow.h"
#include "ui/menucontentview.h"
#include "ui/style.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QSystemTrayIcon>

namespace dorv {

DORVMenuApp::DORVMenuApp(const QUrl &bridgeUrl, QObject *parent)
    : QObject(parent), m_status(new BridgeStatus(bridgeUrl, this))
{
    connect(m_status, &BridgeStatus::changed, this, [this] {
        if (m_iconPending)
            return;
        m_iconPending = true;
        QMetaObject::invokeMethod(this, &DORVMenuApp::updateIcon, Qt::QueuedConnection);
    });
    updateIcon();
}

DORVMenuApp::~DORVMenuApp() = default;

PanelWindow *DORVMenuApp::ensurePanel()
{
    // The panel is built the first time it is needed, as a menu-bar extra builds its content:
    // start-up stays light, and the switch's position is read when the panel first appears.
    if (!m_window) {
        m_panel = new MenuContentView(m_status);
        connect(m_panel, &MenuContentView::appeared, m_status, &BridgeStatus::startPolling);
        m_window = std::make_unique<PanelWindow>(m_panel, m_tray != nullptr);
    }
    return m_window.get();
}

QString DORVMenuApp::iconName(BridgeState state)
{
    return state == BridgeState::Offline ? QStringLiteral("message")
                                         : QStringLiteral("message.fill");
}

void DORVMenuApp::start()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // No tray on this desktop: the panel is an ordinary window, so the utility stays usable.
        ensurePanel()->showAt(QRect(QCursor::pos(), QSize(1, 1)));
        return;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    m_tray = new QSystemTrayIcon(this);
    m_trayStale = true;
    updateIcon();
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick ||
            r == QSystemTrayIcon::MiddleClick)
            togglePanel();
    });
    m_tray->show();
}

void DORVMenuApp::togglePanel()
{
    ensurePanel();
    if (m_window->isVisible())
        m_window->dismiss();
    else if (!m_window->justHidden()) // else this click took the focus away and closed it
        showPanel();
}

void DORVMenuApp::showPanel()
{
    ensurePanel();
    if (m_window->isVisible()) {
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    QRect anchor = m_tray ? m_tray->geometry() : QRect();
    if (!anchor.isValid() || anchor.isEmpty())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    m_window->showAt(anchor);
}

void DORVMenuApp::updateIcon()
{
    m_iconPending = false;
    const BridgeState state = m_status->state();
    const QString name = iconName(state);
    const QColor color = style::stateColor(state);
    // Most polls change nothing the icon shows: keep the rendered icon then.
    if (name == m_iconName && color == m_iconColor && !m_trayStale)
        return;
    m_iconName = name;
    m_iconColor = color;
    if (!m_tray)
        return;
    m_trayStale = false;
    const qreal dpr = qApp->primaryScreen() ? qApp->primaryScreen()->devicePixelRatio() : 1.0;
    m_tray->setIcon(style::trayIcon(m_iconName, m_iconColor, dpr));
    m_tray->setToolTip(QStringLiteral("DORV Bridge: ") + style::stateLabel(state));
}

} // namespace dorv
