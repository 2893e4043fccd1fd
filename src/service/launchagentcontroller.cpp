#include "service/launchagentcontroller.h"

#include "common/childprocess.h"

#include <QDir>

#include <unistd.h>

namespace dorv {

namespace {
const QString kLabel = QStringLiteral("com.ferlinq");
QString &programOverride()
{
    static QString program;
    return program;
}
} // namespace

QString launchdDomain(uint userId)
{
    return QStringLiteral("gui/") + QString::number(userId);
}

QString launchdServiceTarget(uint userId)
{
    return launchdDomain(userId) + u'/' + kLabel;
}

ServiceCommand launchctlCommand(ServiceOperation operation, uint userId, const QString &plistPath)
{
    const QString target = launchdServiceTarget(userId);
    const QString program = QStringLiteral("/bin/launchctl");
    switch (operation) {
    case ServiceOperation::IsLoaded:
        return {program, {QStringLiteral("print"), target}};
    case ServiceOperation::Start:
        return {program, {QStringLiteral("bootstrap"), launchdDomain(userId), plistPath}};
    case ServiceOperation::Stop:
        break;
    }
    return {program, {QStringLiteral("bootout"), target}};
}

ServiceCommand systemctlCommand(ServiceOperation operation)
{
    const QString program = QStringLiteral("/usr/bin/systemctl");
    const QString unit = kLabel + QStringLiteral(".service");
    const QString user = QStringLiteral("--user");
    switch (operation) {
    case ServiceOperation::IsLoaded:
        return {program, {user, QStringLiteral("is-active"), QStringLiteral("--quiet"), unit}};
    case ServiceOperation::Start:
        return {program, {user, QStringLiteral("start"), unit}};
    case ServiceOperation::Stop:
        break;
    }
    return {program, {user, QStringLiteral("stop"), unit}};
}

const QString &LaunchAgentController::plistPath()
{
    static const QString path =
        QDir::home().filePath(QStringLiteral("Library/LaunchAgents/com.ferlinq.plist"));
    return path;
}

QString LaunchAgentController::logFolder()
{
    return QDir::home().filePath(QStringLiteral("Library/Logs/com.ferlinq"));
}

void LaunchAgentController::setProgramOverride(const QString &program)
{
    programOverride() = program;
}

int LaunchAgentController::run(ServiceOperation operation)
{
    ServiceCommand cmd = command(operation);
    if (!programOverride().isEmpty())
        cmd.program = programOverride();
    const ChildResult result = runChild(cmd.program, cmd.arguments);
    return result.finished ? result.exitCode : -1;
}

bool LaunchAgentController::isLoaded()
{
    return run(ServiceOperation::IsLoaded) == 0;
}

void LaunchAgentController::start()
{
    run(ServiceOperation::Start);
}

void LaunchAgentController::stop()
{
    run(ServiceOperation::Stop);
}

} // namespace dorv
