#include "ui/widgets/focusbutton.h"

#include "ui/widgets/focusring.h"

#include <QKeyEvent>

namespace dorv {

FocusButton::FocusButton(QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void FocusButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void FocusButton::focusInEvent(QFocusEvent *event)
{
    m_focusReason = event->reason();
    m_keyboardFocus = showsFocusRing(event->reason());
    QAbstractButton::focusInEvent(event);
}

void FocusButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace dorv
