#pragma once

#include "bridge/bridgestate.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <optional>

class QTimer;

// The utility's one picture of the bridge, learnt by polling GET /status. Every assignment of a
// published field emits changed(), also when the value does not change.
namespace dorv {

class BridgeStatus : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 5000;
    static constexpr int kStatusIdleTimeoutMs = 3000;
    static constexpr int kCommandIdleTimeoutMs = 5000;
    static constexpr int kStatusLifetimeMs = 10000;
    static constexpr qint64 kMaxStatusReplyBytes = 1 << 20;
    // A command's reply is never examined: a little is read, the rest is refused.
    static constexpr qint64 kMaxCommandReplyBytes = 64 << 10;

    static QUrl defaultBaseUrl(); // http://127.0.0.1:9876

    explicit BridgeStatus(const QUrl &baseUrl = defaultBaseUrl(), QObject *parent = nullptr);

    BridgeState state() const { return m_state; }
    QString activeProject() const { return m_activeProject; }
    QStringList projects() const { return m_projects; }
    bool marvekBusy() const { return m_marvekBusy; }
    std::optional<double> contextPct() const { return m_contextPct; }
    qint64 queued() const { return m_queued; }

    // Used by the panel right after it stops the bridge.
    void setState(BridgeState state);

    void startPolling();
    void poll();
    void switchProject(const QString &name);
    void newSession();

Q_SIGNALS:
    void changed();

private:
    QUrl endpoint(const QString &component) const;
    void sendCommand(const QString &component, const QByteArray &headers, const QByteArray &body);
    void applyStatusReply(int statusCode, const QByteArray &body, const QString &failure);
    // Logs a failed poll once when a failure starts (or its cause changes), and the recovery.
    void noteOutcome(const QString &failure);

    template <typename T> void publish(T &field, T value)
    {
        field = std::move(value);
        Q_EMIT changed();
    }

    BridgeState m_state = BridgeState::Offline;
    QString m_activeProject;
    QStringList m_projects;
    bool m_marvekBusy = false;
    std::optional<double> m_contextPct;
    qint64 m_queued = 0;

    const QUrl m_baseUrl;
    QString m_failure; // the cause of the failing polls, empty while polls succeed
    int m_failedPolls = 0;
    QTimer *m_timer = nullptr;
};

} // namespace dorv
