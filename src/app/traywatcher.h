#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

// Waits for a system tray on the desktop before anything asks Qt about trays: Qt decides once
// per process which kind of tray to use, so asking before the desktop's panel is up (autostart
// races it at login) would leave the utility without an icon for the whole session.
namespace dorv {

// How long a start waits for a tray before it shows the panel as a window: a desktop's panel
// started by the same login is usually up within a second or two of its autostart programs.
constexpr std::chrono::seconds kTrayWait{3};

class TrayWatcher : public QObject {
    Q_OBJECT
public:
    explicit TrayWatcher(QObject *parent = nullptr);

    // Starts watching. appeared() comes once a tray is there (at once when it already is);
    // noTrayYet() comes once if none came within `wait`, and appeared() may still follow.
    void watch(std::chrono::milliseconds wait = kTrayWait);

Q_SIGNALS:
    void appeared();
    void noTrayYet();

private:
    // Per platform: whether a tray may still come (else Qt's own answer is final), the watch of
    // the desktop's tray services, and whether one is there now.
    bool mayAppearLater() const;
    void watchPlatform();
    bool present() const;
    void check();

    QTimer m_poll;
    QTimer m_wait;
};

} // namespace dorv
