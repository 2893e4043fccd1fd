#include "service/launchagentcontroller.h"

#include "common/childprocess.h"
#include "common/logging.h"
#include "common/textlines.h"

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

// The first lines of what a tool wrote to standard error, on one line: "Unit ... not found."
QString firstLines(const QByteArray &errors)
{
    const QString text = QString::fromUtf8(errors);
    QStringList lines;
    for (QStringView line : splitLines(text)) {
        if (!trimHorizontal(line).isEmpty() && lines.size() < 2)
            lines.append(trimHorizontal(line).toString());
    }
    return lines.join(QStringLiteral(" / "));
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

QString LaunchAgentController::defaultPlistPath()
{
    return QDir::home().filePath(QStringLiteral("Library/LaunchAgents/com.ferlinq.plist"));
}

QString LaunchAgentController::logFolder()
{
    return QDir::home().filePath(QStringLiteral("Library/Logs/com.ferlinq"));
}

LaunchAgentController::LaunchAgentController(QString plistPath, int timeoutMs, QString tool)
    : m_plistPath(std::move(plistPath)), m_timeoutMs(timeoutMs), m_tool(std::move(tool))
{
}

LaunchAgentController::LaunchAgentController(QString plistPath, Runner runner)
    : m_plistPath(std::move(plistPath)), m_runner(std::move(runner))
{
}

int LaunchAgentController::run(ServiceOperation operation) const
{
    ServiceCommand cmd = command(operation);
    if (!m_tool.isEmpty())
        cmd.program = m_tool;
    const QString line = cmd.program + u' ' + cmd.arguments.join(u' ');
    ChildResult result;
    if (m_runner) {
        result.exitCode = m_runner(cmd);
        result.started = result.finished = result.exitCode >= 0;
    } else {
        ChildOptions options;
        options.captureErrors = true;
        options.timeoutMs = m_timeoutMs;
        result = runChild(cmd.program, cmd.arguments, options);
    }
    const int status = result.finished ? result.exitCode : -1;
    QString outcome =
        !result.started ? QStringLiteral("could not be started")
        : !result.finished
            ? QStringLiteral("did not finish in %1 ms and was stopped").arg(m_timeoutMs)
            : QStringLiteral("failed with exit status %1").arg(status);
    // What the tool said about it, when it said anything: "Unit com.ferlinq.service not found."
    if (const QString said = firstLines(result.errors); !said.isEmpty())
        outcome += QStringLiteral(": ") + said;
    // Not loaded is a normal answer to the query; a start or stop that fails is worth a line,
    // and so is a tool that cannot be run at all.
    if (status == 0 || (status > 0 && operation == ServiceOperation::IsLoaded))
        qCDebug(lcService).noquote() << line << "exited with status" << status;
    else
        qCWarning(lcService).noquote() << line << outcome;
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
