#pragma once

#include "bridge/bridgestatus.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <memory>

class QSystemTrayIcon;

// The application: the one bridge model, the tray icon that follows its state, and the panel
// that opens from it. Polling starts the first time the panel is shown.
namespace dorv {

class MenuContentView;
class PanelWindow;

class DORVMenuApp : public QObject {
    Q_OBJECT
public:
    explicit DORVMenuApp(const QUrl &bridgeUrl = BridgeStatus::defaultBaseUrl(),
                         QObject *parent = nullptr);
    ~DORVMenuApp() override;

    // Shows the tray icon, or the panel as a plain window when there is no tray.
    void start();

    BridgeStatus *status() const { return m_status; }
    // Null until the panel is first shown.
    MenuContentView *panel() const { return m_panel; }
    PanelWindow *panelWindow() const { return m_window.get(); }
    QSystemTrayIcon *tray() const { return m_tray; }

    // The tray icon's glyph and colour for a state.
    static QString iconName(BridgeState state);
    QString currentIconName() const { return m_iconName; }
    QColor currentIconColor() const { return m_iconColor; }

    // A click on the icon: closes an open panel, opens a closed one.
    void togglePanel();
    // Opens the panel, or brings an open one to the front.
    void showPanel();

private:
    PanelWindow *ensurePanel();
    void updateIcon();

    BridgeStatus *m_status;
    MenuContentView *m_panel = nullptr;
    std::unique_ptr<PanelWindow> m_window;
    QSystemTrayIcon *m_tray = nullptr;
    QString m_iconName;
    QColor m_iconColor;
    bool m_iconPending = false;
    bool m_trayStale = false; // the tray has not been given the current icon yet
};

} // namespace dorv
