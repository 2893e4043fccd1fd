#pragma once

#include "bridge/bridgestatus.h"
#include "bridge/pollscheduler.h"
#include "config/projectconfig.h"
#include "config/reloadsignal.h"
#include "service/launchagentcontroller.h"
#include "ui/settingswindowcontroller.h"

#include <QColor>
#include <QObject>
#include <memory>

class QSystemTrayIcon;

// The application: the one bridge model, the tray icon that follows its state with its menu,
// the panel that opens from it, and the controller that acts on what the user asks for in
// either. Polling starts the first time the panel or the menu is shown.
namespace dorv {

class Coalescer;

class AppController;
class MenuContentView;
class PanelWindow;
class TrayMenu;

// What a test may point elsewhere or make shorter; the program keeps the defaults. The places
// are taken from the home folder when the seams are made.
struct AppSeams {
    QUrl bridgeUrl = BridgeStatus::defaultBaseUrl();
    LaunchAgentController::Runner serviceRunner;         // empty: the platform's tool
    SettingsWindowController::FolderPicker folderPicker; // empty: the folder dialog
    QString pgrepProgram = reload::kPgrepProgram;
    QString listFile = ProjectConfig::configPath();
    QString logFolder = LaunchAgentController::logFolder();
    QString plistPath = LaunchAgentController::defaultPlistPath();
    PollTimes pollTimes = {};
    BridgeTimeouts timeouts = {};
    int samePressMs = -1; // -1: the desktop's double-click interval
};

class DORVMenuApp : public QObject {
    Q_OBJECT
public:
    explicit DORVMenuApp(AppSeams seams = {}, QObject *parent = nullptr);
    ~DORVMenuApp() override;

    // Shows the tray icon, or the panel as a plain window when there is no tray.
    void start();

    BridgeStatus *status() const { return m_status; }
    AppController *controller() const { return m_controller; }
    SettingsWindowController *editor() const { return m_editor; }
    // The panel, built the first time it is needed.
    PanelWindow *ensurePanel();
    MenuContentView *panel() const { return m_panel; }
    // The tray icon's menu, built the first time it is needed.
    TrayMenu *ensureMenu();

    // The tray icon's glyph and colour for a state.
    static QString iconName(BridgeState state);
    QString currentIconName() const { return m_iconName; }
    QColor currentIconColor() const { return m_iconColor; }

    // A click on the icon: closes an open panel, opens a closed one.
    void togglePanel();
    // Opens the panel, or brings an open one to the front.
    void showPanel();

private:
    void showTrayIcon();
    void updateIcon();
    QRect panelAnchor() const;

    BridgeStatus *m_status;
    PollScheduler *m_scheduler;
    LaunchAgentController m_service;
    ProjectConfig *m_panelConfig;
    SettingsWindowController *m_editor;
    AppController *m_controller;
    MenuContentView *m_panel = nullptr;
    std::unique_ptr<PanelWindow> m_window;
    QSystemTrayIcon *m_tray = nullptr;
    std::unique_ptr<TrayMenu> m_menu;
    Coalescer *m_iconUpdate;
    QString m_iconName;
    QColor m_iconColor;
    bool m_trayStale = false; // the tray has not been given the current icon yet
};

} // namespace dorv
