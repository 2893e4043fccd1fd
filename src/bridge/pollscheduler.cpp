#include "bridge/pollscheduler.h"

#include "bridge/bridgestatus.h"

namespace dorv {

PollScheduler::PollScheduler(BridgeStatus *status, PollTimes times, QObject *parent)
    : QObject(parent), m_status(status), m_times(times)
{
    // A coarse timer would poll up to 5 % early.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(m_times.intervalMs);
    // A tick queues its poll, as a run-loop timer starts a task: a model gone by then is not
    // polled (the queued call dies with its receiver).
    connect(&m_timer, &QTimer::timeout, status, &BridgeStatus::poll, Qt::QueuedConnection);
    connect(status, &BridgeStatus::commandEnded, status, &BridgeStatus::poll);

    m_answerWait.setSingleShot(true);
    auto answered = [this] {
        m_answerWait.stop();
        if (auto ready = std::exchange(m_ready, nullptr))
            ready();
    };
    connect(&m_answerWait, &QTimer::timeout, this, answered);
    // Queued: whoever draws the answer sees it before the waiting open does.
    connect(status, &BridgeStatus::statusChanged, this, answered, Qt::QueuedConnection);
}

void PollScheduler::startPolling()
{
    m_status->poll();
    m_timer.start();
}

void PollScheduler::shown()
{
    if (!std::exchange(m_showingPolled, false))
        startPolling();
}

void PollScheduler::waitForAnswer(std::function<void()> ready)
{
    m_ready = std::move(ready);
    startPolling();
    m_showingPolled = true;
    m_answerWait.start(m_times.firstAnswerWaitMs);
}

void PollScheduler::serviceStarted()
{
    if (m_status)
        QTimer::singleShot(m_times.afterServiceStartMs, m_status.data(), &BridgeStatus::poll);
}

} // namespace dorv
