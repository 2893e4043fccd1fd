#pragma once

#include "common/childprocess.h"

#include <QString>
#include <QStringList>
#include <functional>

// Starts, stops and queries the bridge's per-user service: the launchd agent com.ferlinq on
// macOS, the systemd user unit com.ferlinq.service on Linux. One object, made by the
// application and passed to whoever acts on the service.
namespace dorv {

enum class ServiceOperation { IsLoaded, Start, Stop };

struct ServiceCommand {
    QString program;
    QStringList arguments;
    bool operator==(const ServiceCommand &) const = default;
};

// The two command tables, plain data so both are tested on every platform.
ServiceCommand launchctlCommand(ServiceOperation operation, uint userId, const QString &plistPath);
ServiceCommand systemctlCommand(ServiceOperation operation);

class LaunchAgentController {
public:
    // Runs a command and gives its exit status; -1 when it did not start or overran its time.
    using Runner = std::function<int(const ServiceCommand &command)>;

    // The platform's tool runs as a child process, killed after `timeoutMs`; `tool`, when
    // given, is run in its place with the same arguments. `plistPath` is the agent's
    // property-list file (the launchd agent is loaded from it).
    explicit LaunchAgentController(QString plistPath, int timeoutMs = kChildTimeoutMs,
                                   QString tool = {});
    // Commands go to `runner` instead; an empty one runs the platform's tool.
    LaunchAgentController(QString plistPath, Runner runner);

    static QString defaultPlistPath(); // ~/Library/LaunchAgents/com.ferlinq.plist
    static QString logFolder();        // ~/Library/Logs/com.ferlinq

    // This platform's command for an operation.
    ServiceCommand command(ServiceOperation operation) const;

    // True only when the query exits with status 0; anything else, including a tool that
    // cannot be started or overruns its time, reads as not loaded.
    bool isLoaded() const;
    void start() const;
    void stop() const;

private:
    int run(ServiceOperation operation) const;

    QString m_plistPath;
    Runner m_runner;
    int m_timeoutMs = kChildTimeoutMs;
    QString m_tool;
};

} // namespace dorv
