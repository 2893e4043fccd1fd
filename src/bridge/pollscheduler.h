#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

// When the bridge is asked for its status: every interval once polling has started (the first
// time the panel or the menu is shown), at each showing, once after each command, once a while
// after the bridge's service was started. The one place that decides it.
namespace dorv {

class BridgeStatus;

struct PollTimes {
    int intervalMs = 5000;
    int afterServiceStartMs = 2000; // the service needs a moment before the bridge answers
    // How long an open waits for the bridge's first answer, so the panel opens at the shape it
    // keeps instead of growing a moment after it appeared.
    int firstAnswerWaitMs = 400;
};

class PollScheduler : public QObject {
    Q_OBJECT
public:
    PollScheduler(BridgeStatus *status, PollTimes times, QObject *parent = nullptr);

    bool polling() const { return m_timer.isActive(); }
    bool waitingForAnswer() const { return bool(m_ready); }
    // Polls now and every interval from now on; a second call restarts the one timer.
    void startPolling();
    // The panel was shown: polls now and keeps polling, unless the poll that
    // waited for this showing (waitForAnswer) stands for it.
    void shown();
    // Polls and calls `ready` once, when the bridge answers or the wait is over. The poll
    // stands for the next showing's.
    void waitForAnswer(std::function<void()> ready);
    // The bridge's service was just started: one poll a moment later. Each call stands alone.
    void serviceStarted();

private:
    QPointer<BridgeStatus> m_status;
    const PollTimes m_times;
    QTimer m_timer;
    QTimer m_answerWait;
    std::function<void()> m_ready;
    bool m_showingPolled = false;
};

} // namespace dorv
