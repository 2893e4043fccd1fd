#pragma once

#include <QObject>
#include <functional>

namespace dorv {

// Runs a refresh at most once per event-loop pass, however often it is requested.
class Coalescer : public QObject {
public:
    Coalescer(QObject *parent, std::function<void()> refresh);
    void request();
    // The refresh ran directly: a pending one is dropped.
    void cancel() { m_pending = false; }

private:
    std::function<void()> m_refresh;
    bool m_pending = false;
};

} // namespace dorv
