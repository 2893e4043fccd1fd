#pragma once

#include <QMenu>

class QActionGroup;

// The tray icon's context menu, drawn by the tray host itself next to the icon (a QMenu on
// XEmbed trays, exported over DBusMenu to StatusNotifierItem hosts): the panel's operations,
// with the panel's texts and enabled conditions, and a first item that opens the panel for hosts
// that show the menu on a left click. Past 50 projects, an item opens the panel for the rest. A
// view: it shows what it is given and emits requests.
namespace dorv {

class BridgeStatus;

class TrayMenu : public QMenu {
    Q_OBJECT
public:
    explicit TrayMenu(QWidget *parent = nullptr);

    // The bridge's projects (while it answers), the active one, and the switch's position.
    void showState(const BridgeStatus &status, bool agentLoaded);

Q_SIGNALS:
    void openPanelRequested();
    void projectChosen(const QString &name);
    void newSessionRequested();
    void switchFlipped(bool on);
    void configureRequested();
    void openLogsRequested();
    void quitRequested();

private:
    void markActive();

    QActionGroup *m_group;
    QAction *m_more; // opens the panel when the bridge lists more projects than the menu shows
    QAction *m_projectsEnd;
    QAction *m_newSession;
    QAction *m_bridge;
    QList<QAction *> m_projects;
    QStringList m_names; // the projects shown, in order
    QString m_active;
};

} // namespace dorv
