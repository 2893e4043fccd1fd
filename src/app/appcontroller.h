#pragma once

#include "ui/shownstate.h"

#include <QHash>
#include <QObject>
#include <QPointer>

// Carries out what the user asks for, from the panel or the tray menu: switching the bridge's
// project, a new session, the bridge's service on or off, the project editor, the log folder,
// quitting. It owns what both views show (shownState()) and hands it to them on every change.
namespace dorv {

class BridgeStatus;
class LaunchAgentController;
class PollScheduler;
class SettingsWindowController;

class AppController : public QObject {
    Q_OBJECT
public:
    // A second press of the same command within `samePressMs`, or while it is still out, is
    // the same intent and sends nothing more.
    AppController(BridgeStatus *status, PollScheduler *scheduler,
                  const LaunchAgentController *service, SettingsWindowController *editor,
                  QString logFolder, int samePressMs, QObject *parent = nullptr);

    // Whether the bridge's service is taken to be running: asked of the service the first time
    // it is needed, then changed only by the user's flips.
    bool serviceRunning();
    ShownState shown();

    void switchProject(const QString &name);
    void newSession();
    // The user turned the bridge on (start it, poll a moment later) or off (stop it, offline at
    // once).
    void setBridgeOn(bool on);
    void openEditor();
    void openLogs();
    void quit();

Q_SIGNALS:
    void shownChanged(const ShownState &shown);
    // The editor was asked for: whatever covers it should get out of the way.
    void editorOpening();

private:
    // Takes a press of the command `key`: false when the same command is still held.
    bool press(const QString &key);
    void release(const QString &key);
    void showChange();

    QPointer<BridgeStatus> m_status;
    PollScheduler *m_scheduler;
    const LaunchAgentController *m_service;
    SettingsWindowController *m_editor;
    const QString m_logFolder;
    const int m_samePressMs;
    int m_serviceRunning = -1; // not asked yet
    // Held commands ("new", or "use" and the project), each by its reply and by the time a
    // second press is the same intent: it takes presses again when both have let go.
    QHash<QString, int> m_holds;
};

} // namespace dorv
