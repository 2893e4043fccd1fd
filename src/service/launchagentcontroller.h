#pragma once

#include <QString>
#include <QStringList>

// Starts, stops and queries the bridge's per-user service: the launchd agent com.ferlinq on
// macOS, the systemd user unit com.ferlinq.service on Linux.
namespace dorv {

enum class ServiceOperation { IsLoaded, Start, Stop };

struct ServiceCommand {
    QString program;
    QStringList arguments;
    bool operator==(const ServiceCommand &) const = default;
};

QString launchdDomain(uint userId);        // gui/<uid>
QString launchdServiceTarget(uint userId); // gui/<uid>/com.ferlinq, for "print" and "bootout"

// The two command tables, plain data so both are tested on every platform.
ServiceCommand launchctlCommand(ServiceOperation operation, uint userId, const QString &plistPath);
ServiceCommand systemctlCommand(ServiceOperation operation);

class LaunchAgentController {
public:
    LaunchAgentController() = delete;

    static const QString &plistPath(); // ~/Library/LaunchAgents/com.ferlinq.plist
    static QString logFolder();        // ~/Library/Logs/com.ferlinq

    // This platform's command for an operation.
    static ServiceCommand command(ServiceOperation operation);

    // True only when the query exits with status 0; anything else, including a tool that
    // cannot be started or overruns its time, reads as not loaded.
    static bool isLoaded();
    static void start();
    static void stop();

    // Test seam: run this program instead of the platform tool (empty restores it).
    static void setProgramOverride(const QString &program);

private:
    static int run(ServiceOperation operation);
};

} // namespace dorv
