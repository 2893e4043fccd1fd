#include "ui/widgets/nofocusonopen.h"

#include "ui/widgets/focusbutton.h"

#include <QEvent>
#include <QWidget>

namespace dorv {

NoFocusOnOpen::NoFocusOnOpen(QWidget *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

void NoFocusOnOpen::install(QWidget *window)
{
    new NoFocusOnOpen(window);
}

bool NoFocusOnOpen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    if (event->type() == QEvent::Show)
        m_freshlyShown = true;
    if (event->type() == QEvent::ActivationChange && m_window->isActiveWindow() &&
        std::exchange(m_freshlyShown, false)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                auto *focused = qobject_cast<FocusButton *>(m_window->focusWidget());
                if (focused && focused->hasFocus() &&
                    focused->focusReason() == Qt::ActiveWindowFocusReason)
                    focused->clearFocus();
            },
            Qt::QueuedConnection);
    }
    return false;
}

} // namespace dorv
