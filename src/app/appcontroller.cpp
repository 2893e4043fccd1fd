#include "app/appcontroller.h"

#include "bridge/bridgestatus.h"
#include "common/logging.h"
#include "service/launchagentcontroller.h"
#include "ui/settingswindowcontroller.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

namespace dorv {

AppController::AppController(BridgeStatus *status, const LaunchAgentController *service,
                             SettingsWindowController *editor, QObject *parent)
    : QObject(parent), m_status(status), m_service(service), m_editor(editor)
{
}

bool AppController::agentLoaded()
{
    if (m_agentLoaded < 0)
        m_agentLoaded = m_service->isLoaded() ? 1 : 0;
    return m_agentLoaded == 1;
}

void AppController::switchProject(const QString &name)
{
    if (m_status)
        m_status->switchProject(name);
}

void AppController::newSession()
{
    if (m_status)
        m_status->newSession();
}

void AppController::setBridgeOn(bool on)
{
    m_agentLoaded = on ? 1 : 0;
    Q_EMIT agentLoadedChanged(on);
    if (on) {
        m_service->start();
        // The service needs a moment before the bridge answers.
        QTimer::singleShot(2000, m_status, [status = m_status] {
            if (status)
                status->poll();
        });
    } else {
        m_service->stop();
        if (m_status)
            m_status->setState(BridgeState::Offline);
    }
}

void AppController::openEditor()
{
    Q_EMIT editorOpening();
    m_editor->open();
}

void AppController::openLogs()
{
    // A missing folder: nothing happens.
    const QString folder = LaunchAgentController::logFolder();
    if (!QFileInfo(folder).isDir()) {
        qCInfo(lcUi).noquote() << "no log folder at" << folder;
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void AppController::quit()
{
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace dorv
