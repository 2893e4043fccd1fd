#pragma once

#include "bridge/bridgesnapshot.h"

#include <QObject>
#include <QUrl>
#include <functional>

// The utility's one picture of the bridge, learnt from GET /status, and the two commands sent to
// it. Observers are handed the whole picture once per accepted reply or failed poll. When to poll
// is PollScheduler's matter.
namespace dorv {

// How long the bridge may stay silent before a request fails, and how long a poll may live in all.
struct BridgeTimeouts {
    static constexpr int kStatusIdleTimeoutMs = 3000;
    static constexpr int kCommandIdleTimeoutMs = 5000;
    static constexpr int kStatusLifetimeMs = 10000;
    int statusIdleMs = kStatusIdleTimeoutMs;
    int statusLifetimeMs = kStatusLifetimeMs;
    int commandIdleMs = kCommandIdleTimeoutMs;
};

class BridgeStatus : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxStatusReplyBytes = 1 << 20;
    // A command's reply is never examined: a little is read, the rest is refused.
    static constexpr qint64 kMaxCommandReplyBytes = 64 << 10;

    static QUrl defaultBaseUrl(); // http://127.0.0.1:9876

    explicit BridgeStatus(const QUrl &baseUrl = defaultBaseUrl(), BridgeTimeouts timeouts = {},
                          QObject *parent = nullptr);

    const BridgeSnapshot &snapshot() const { return m_snapshot; }

    // The bridge was just stopped: offline at once, without waiting for a poll.
    void setOffline();

    void poll();
    // `ended` runs when the command's exchange is over, however it ended.
    void switchProject(const QString &name, std::function<void()> ended = {});
    void newSession(std::function<void()> ended = {});

Q_SIGNALS:
    void statusChanged(const BridgeSnapshot &snapshot);
    // A command's exchange is over: what it did shows in the next poll.
    void commandEnded();

private:
    QUrl endpoint(const QString &component) const;
    void sendCommand(const QString &component, const QByteArray &headers, const QByteArray &body,
                     std::function<void()> ended);
    void applyStatusReply(int statusCode, const QByteArray &body, const QString &failure);
    void failed(const QString &failure);
    // Logs a failed poll once when a failure starts (or its cause changes), and the recovery.
    void noteOutcome(const QString &failure);

    BridgeSnapshot m_snapshot;
    const QUrl m_baseUrl;
    const BridgeTimeouts m_timeouts;
    QString m_failure; // the cause of the failing polls, empty while polls succeed
    int m_failedPolls = 0;
};

} // namespace dorv
