#pragma once

#include <QObject>

// Keeps a window that has just been shown free of a focused control until the user presses Tab:
// activating a window focuses its first control once the activation is through, and that focus
// would make a Space or Return act on a control the user did not choose. Install it on the
// window; it lives as the window's child.
namespace dorv {

class NoFocusOnOpen : public QObject {
    Q_OBJECT
public:
    static void install(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit NoFocusOnOpen(QWidget *window);

    QWidget *m_window;
    bool m_freshlyShown = false;
};

} // namespace dorv
