#pragma once

#include "bridge/bridgestate.h"

#include <QWidget>

class QLabel;

// The panel's header row: the title and the status badge (dot and state label).
namespace dorv {

class Dot;
class FilledFrame;

class HeaderSection : public QWidget {
    Q_OBJECT
public:
    explicit HeaderSection(QWidget *parent = nullptr);
    void showState(BridgeState state);

private:
    FilledFrame *m_badge;
    Dot *m_dot;
    QLabel *m_stateLabel;
};

} // namespace dorv
