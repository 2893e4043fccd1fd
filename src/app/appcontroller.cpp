#include "app/appcontroller.h"

#include "bridge/bridgestatus.h"
#include "bridge/pollscheduler.h"
#include "common/logging.h"
#include "service/launchagentcontroller.h"
#include "ui/settingswindowcontroller.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

namespace dorv {

namespace {
const QString kNewSession = QStringLiteral("new");
const QString kSwitchPrefix = QStringLiteral("use ");
QString switchKey(const QString &name)
{
    return kSwitchPrefix + name;
}
} // namespace

AppController::AppController(BridgeStatus *status, PollScheduler *scheduler,
                             const LaunchAgentController *service, SettingsWindowController *editor,
                             QString logFolder, int samePressMs, QObject *parent)
    : QObject(parent), m_status(status), m_scheduler(scheduler), m_service(service),
      m_editor(editor), m_logFolder(std::move(logFolder)), m_samePressMs(samePressMs)
{
    connect(status, &BridgeStatus::statusChanged, this, &AppController::showChange);
}

bool AppController::serviceRunning()
{
    if (m_serviceRunning < 0)
        m_serviceRunning = m_service->isLoaded() ? 1 : 0;
    return m_serviceRunning == 1;
}

ShownState AppController::shown()
{
    BusyCommands busy;
    for (auto it = m_holds.cbegin(); it != m_holds.cend(); ++it) {
        if (it.key() == kNewSession)
            busy.newSession = true;
        else
            busy.projects.insert(it.key().mid(kSwitchPrefix.size()));
    }
    return shownState(m_status ? m_status->snapshot() : BridgeSnapshot(), serviceRunning(), busy);
}

void AppController::showChange()
{
    Q_EMIT shownChanged(shown());
}

bool AppController::press(const QString &key)
{
    if (m_holds.contains(key)) {
        qCDebug(lcUi).noquote() << "a second press of" << key << "sends nothing";
        return false;
    }
    m_holds.insert(key, 2);
    QTimer::singleShot(m_samePressMs, this, [this, key] { release(key); });
    showChange();
    return true;
}

void AppController::release(const QString &key)
{
    if (--m_holds[key] > 0)
        return;
    m_holds.remove(key);
    showChange();
}

void AppController::switchProject(const QString &name)
{
    const QString key = switchKey(name);
    if (m_status && press(key))
        m_status->switchProject(name, [self = QPointer(this), key] {
            if (self)
                self->release(key);
        });
}

void AppController::newSession()
{
    if (m_status && press(kNewSession))
        m_status->newSession([self = QPointer(this)] {
            if (self)
                self->release(kNewSession);
        });
}

void AppController::setBridgeOn(bool on)
{
    m_serviceRunning = on ? 1 : 0;
    showChange();
    if (on) {
        m_service->start();
        m_scheduler->serviceStarted();
    } else {
        m_service->stop();
        if (m_status)
            m_status->setOffline();
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
    if (!QFileInfo(m_logFolder).isDir()) {
        qCInfo(lcUi).noquote() << "no log folder at" << m_logFolder;
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_logFolder));
}

void AppController::quit()
{
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace dorv
