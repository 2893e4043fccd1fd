#pragma once

#include <QObject>
#include <QPointer>

// Carries out what the user asks for, from the panel or the tray menu: switching the bridge's
// project, a new session, the bridge's service on or off, the project editor, the log folder,
// quitting. The views only say what was asked; this is the one place that acts.
namespace dorv {

class BridgeStatus;
class LaunchAgentController;
class SettingsWindowController;

class AppController : public QObject {
    Q_OBJECT
public:
    AppController(BridgeStatus *status, const LaunchAgentController *service,
                  SettingsWindowController *editor, QObject *parent = nullptr);

    // Whether the bridge's service is taken to be running: asked of the service the first time
    // it is needed, then changed only by the user's flips.
    bool agentLoaded();

    void switchProject(const QString &name);
    void newSession();
    // The user turned the bridge on (start it, poll 2 s later) or off (stop it, offline at once).
    void setBridgeOn(bool on);
    void openEditor();
    void openLogs();
    void quit();

Q_SIGNALS:
    void agentLoadedChanged(bool loaded);
    // The editor was asked for: whatever covers it should get out of the way.
    void editorOpening();

private:
    QPointer<BridgeStatus> m_status;
    const LaunchAgentController *m_service;
    SettingsWindowController *m_editor;
    int m_agentLoaded = -1; // not asked yet
};

} // namespace dorv
