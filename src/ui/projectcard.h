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
    // On a screen too short for the whole panel the context and queue lines give way.
    void setCompact(bool compact);

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
    bool m_compact = false;
    bool m_hasContext = false;
    bool m_hasQueue = false;
};

} // namespace dorv
