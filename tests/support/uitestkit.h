#pragma once

#include "support/fakehttpserver.h"
#include "support/testhome.h"

#include <QStringList>
#include <QWidget>

// Shared by the widget tests: a fake service tool and what a window shows.
namespace dorv::test {

// A fake launchctl/systemctl: appends its arguments as one line to a log and exits with the
// status set (0 unless changed).
class FakeServiceTool {
public:
    explicit FakeServiceTool(const TestHome &home);
    ~FakeServiceTool();
    void setExitStatus(int status);
    QStringList calls() const; // one line per call
    void clear();

private:
    QString m_log;
    QString m_status;
};

// Object names of the visible widgets of a layout, in order.
QStringList visibleRows(QWidget *container);
// Every text a window shows on screen (labels as drawn, wrapping names).
QStringList visibleTexts(QWidget *window);

// Saves a picture of a widget into <build>/screenshots/<name>.png, for people to look at.
void saveScreenshot(QWidget *widget, const QString &name);

} // namespace dorv::test
