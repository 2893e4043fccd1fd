#pragma once

#include <QWidget>

class QLabel;
class QLayout;

// The card for the active project: its name with the busy or idle flag, the context bar with
// its percentage, and the queue line.
namespace dorv {

struct BridgeSnapshot;
class ContextBar;
class WrapLabel;

class ProjectCard : public QWidget {
    Q_OBJECT
public:
    explicit ProjectCard(QWidget *parent = nullptr);
    void showStatus(const BridgeSnapshot &status);

    // The percentage for a context value: truncated toward zero, never garbled.
    static QString percentText(double pct);

private:
    QLayout *m_projectLine;
    WrapLabel *m_name;
    QWidget *m_busy;
    QLabel *m_idle;
    QWidget *m_contextLine;
    ContextBar *m_bar;
    QLabel *m_percent;
    QLabel *m_queue;
};

} // namespace dorv
