#include "service/launchagentcontroller.h"

#include "common/childprocess.h"
#include "common/logging.h"

#include <QDir>

namespace dorv {

namespace {
const QString kLabel = QStringLiteral("com.ferlinq");

QString launchdDomain(uint userId) // gui/<uid>
{
    return QStringLiteral("gui/") + QString::number(userId);
}

QString launchdServiceTarget(uint userId) // gui/<uid>/com.ferlinq, for "print" and "bootout"
{
    return launchdDomain(userId) + u'/' + kLabel;
}

int runTool(const ServiceCommand &command)
{
    const ChildResult result = runChild(command.program, command.arguments);
    return result.finished ? result.exitCode : -1;
}
} // namespace

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

LaunchAgentController::LaunchAgentController(Runner runner)
    : m_runner(runner ? std::move(runner) : Runner(runTool))
{
}

int LaunchAgentController::run(ServiceOperation operation) const
{
    const ServiceCommand cmd = command(operation);
    const int status = m_runner(cmd);
    const QString line = cmd.program + u' ' + cmd.arguments.join(u' ');
    // Not loaded is a normal answer to the query; a start or stop that fails is worth a line.
    if (status == 0 || operation == ServiceOperation::IsLoaded)
        qCDebug(lcService).noquote() << line << "exited with status" << status;
    else if (status < 0)
        qCWarning(lcService).noquote() << line << "could not be run or did not finish in 10 s";
    else
        qCWarning(lcService).noquote() << line << "failed with exit status" << status;
    return status;
}

bool LaunchAgentController::isLoaded() const
{
    return run(ServiceOperation::IsLoaded) == 0;
}

void LaunchAgentController::start() const
{
    run(ServiceOperation::Start);
}

void LaunchAgentController::stop() const
{
    run(ServiceOperation::Stop);
}

} // namespace dorv
