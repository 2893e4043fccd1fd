#include "app/dorvmenuapp.h"
#include "common/coalescer.h"

#include "app/appcontroller.h"
#include "app/panelwindow.h"
#include "app/traymenu.h"
#include "app/traywatcher.h"
#include "common/logging.h"
#include "config/projectconfig.h"
#include "ui/helpers.h"
#include "ui/menucontentview.h"
#include "ui/style.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace dorv {

namespace {
// Under Wayland, natively or through XWayland, a program learns neither where the tray icon
// is nor, reliably, where the pointer is: XWayland's pointer goes stale over Wayland surfaces.
// A Wayland compositor does not tell its clients where its bars are: the panel leaves room for
// one at the top and one at the bottom.
constexpr int kUnknownBarRoom = 48;

// The panel and the icon's menu ask for the same operations, under the same names.
template <typename View> void connectRequests(View *view, AppController *c)
{
    QObject::connect(view, &View::switchFlipped, c, &AppController::setBridgeOn);
    QObject::connect(view, &View::projectChosen, c, &AppController::switchProject);
    QObject::connect(view, &View::newSessionRequested, c, &AppController::newSession);
    QObject::connect(view, &View::configureRequested, c, &AppController::openEditor);
    QObject::connect(view, &View::openLogsRequested, c, &AppController::openLogs);
    QObject::connect(view, &View::quitRequested, c, &AppController::quit);
}

bool waylandSession()
{
    return QGuiApplication::platformName().startsWith(QLatin1StringView("wayland")) ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == "wayland";
}
} // namespace

DORVMenuApp::DORVMenuApp(AppSeams seams, QObject *parent)
    : QObject(parent), m_status(new BridgeStatus(seams.bridgeUrl, seams.timeouts, this)),
      m_scheduler(new PollScheduler(m_status, seams.pollTimes, this)),
      m_service(seams.plistPath, std::move(seams.serviceRunner)),
      m_panelConfig(new ProjectConfig(seams.listFile, seams.pgrepProgram, this)),
      m_editor(
          new SettingsWindowController(new ProjectConfig(seams.listFile, seams.pgrepProgram, this),
                                       std::move(seams.folderPicker), this)),
      m_controller(new AppController(
          m_status, m_scheduler, &m_service, m_editor, seams.logFolder,
          seams.samePressMs >= 0 ? seams.samePressMs : QApplication::doubleClickInterval(), this)),
      m_iconUpdate(new Coalescer(this, [this] { updateIcon(); }))
{
    connect(m_status, &BridgeStatus::statusChanged, m_iconUpdate, &Coalescer::request);
    // The editor opens over where the panel was: on Wayland a window may not be raised over
    // another without the compositor's consent, so the panel gets out of the way.
    connect(m_controller, &AppController::editorOpening, this, [this] {
        if (m_window && m_window->isVisible())
            m_window->dismiss();
    });
    updateIcon();
}

DORVMenuApp::~DORVMenuApp() = default;

PanelWindow *DORVMenuApp::ensurePanel()
{
    // The panel is built the first time it is needed, as a menu-bar extra builds its content:
    // start-up stays light, and the switch's position is read when the panel first appears.
    if (m_window)
        return m_window.get();
    m_panel = new MenuContentView(m_panelConfig);
    m_panel->showState(m_controller->shown());
    connect(m_panel, &MenuContentView::aboutToAppear, m_panelConfig, &ProjectConfig::load);
    connect(m_panel, &MenuContentView::appeared, m_scheduler, &PollScheduler::shown);
    connectRequests(m_panel, m_controller);
    connect(m_controller, &AppController::shownChanged, m_panel, &MenuContentView::showState);
    m_window = std::make_unique<PanelWindow>(m_panel, m_tray != nullptr);
    return m_window.get();
}

QString DORVMenuApp::iconName(BridgeState state)
{
    return state == BridgeState::Offline ? QStringLiteral("message")
                                         : QStringLiteral("message.fill");
}

void DORVMenuApp::start()
{
    // At login the desktop's panel may come up after the utility: wait for its tray; without one
    // the panel is an ordinary window, so the utility stays usable, until a tray comes.
    auto *tray = new TrayWatcher(this);
    connect(tray, &TrayWatcher::noTrayYet, this, [this] {
        qCInfo(lcUi) << "no system tray: the panel opens as a window";
        ensurePanel()->showAt(panelAnchor());
    });
    connect(tray, &TrayWatcher::appeared, this, [this] {
        showTrayIcon();
        if (m_window) { // the window goes (a click on the icon at once opens the panel)
            m_window->dismiss();
            m_window->setPopup(true);
        }
    });
    tray->watch();
}

void DORVMenuApp::showTrayIcon()
{
    QApplication::setQuitOnLastWindowClosed(false);
    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(ensureMenu());
    m_trayStale = true;
    updateIcon();
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick ||
            r == QSystemTrayIcon::MiddleClick)
            togglePanel();
    });
    m_tray->show();
}

TrayMenu *DORVMenuApp::ensureMenu()
{
    if (m_menu)
        return m_menu.get();
    m_menu = std::make_unique<TrayMenu>(); // a menu has no parent widget; it lives with the app
    // A host asks for the menu before the panel was ever opened: the bridge's projects come
    // with the poll this starts, and the exported menu follows.
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        if (!m_scheduler->polling())
            m_scheduler->startPolling();
        m_menu->showState(m_controller->shown());
    });
    connect(m_menu.get(), &TrayMenu::openPanelRequested, this, &DORVMenuApp::showPanel);
    connectRequests(m_menu.get(), m_controller);
    // Hosts may read the exported menu without asking first: it is kept current.
    connect(m_controller, &AppController::shownChanged, m_menu.get(), &TrayMenu::showState);
    return m_menu.get();
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
    if (m_scheduler->waitingForAnswer())
        return;
    // Where the compositor keeps a window's corner when it grows (Wayland), every open asks the
    // bridge first, so the panel opens at the shape it keeps (a panel that grows can run off the
    // screen); elsewhere the first does, and later ones show what is known, placed again if the
    // answer changes their size.
    if (m_scheduler->polling() && !waylandSession()) {
        m_window->showAt(panelAnchor());
        return;
    }
    m_scheduler->waitForAnswer([this] { m_window->showAt(panelAnchor()); });
}

QRect DORVMenuApp::panelAnchor() const
{
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    if (icon.isValid() && !icon.isEmpty())
        return icon;
    if (!waylandSession())
        return QRect(QCursor::pos(), QSize(1, 1));
    QScreen *screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    if (screen && area == screen->geometry())
        area.adjust(0, kUnknownBarRoom, 0, -kUnknownBarRoom);
    return cornerAnchor(area);
}

void DORVMenuApp::updateIcon()
{
    const BridgeState state = m_status->snapshot().state;
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
