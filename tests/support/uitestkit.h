#pragma once

#include "service/launchagentcontroller.h"
#include "support/fakehttpserver.h"
#include "support/testhome.h"

#include <QStringList>
#include <QWidget>
#include <memory>

// Shared by the widget tests: a stand-in for the service tool and what a window shows.
namespace dorv::test {

// Records each service command as "program arg arg..." and answers with the status set.
class FakeService {
public:
    LaunchAgentController::Runner runner();
    void setExitStatus(int status) { m_state->status = status; }
    QStringList calls() const { return m_state->calls; }
    void clear() { m_state->calls.clear(); }

private:
    struct State {
        QStringList calls;
        int status = 0;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// Object names of the visible widgets of a layout, in order.
QStringList visibleRows(QWidget *container);
// Every text a window shows on screen (labels as drawn, names as read).
QStringList visibleTexts(QWidget *window);

// Saves a picture of a widget into <build>/screenshots/<name>.png, for people to look at.
void saveScreenshot(QWidget *widget, const QString &name);

} // namespace dorv::test
