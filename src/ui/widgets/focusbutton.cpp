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
    m_placeKept = false;
    m_focusReason = event->reason();
    m_keyboardFocus = showsFocusRing(event->reason());
    QAbstractButton::focusInEvent(event);
}

void FocusButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

bool FocusButton::focusNextPrevChild(bool next)
{
    // Qt asks this when the focused button is disabled: keep the place instead of moving on.
    if (!isEnabled() && window()->focusWidget() == this) {
        m_placeKept = true;
        m_keptKeyboardFocus = m_keyboardFocus;
        return false; // the focus is cleared
    }
    return QAbstractButton::focusNextPrevChild(next);
}

void FocusButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() != QEvent::EnabledChange || !isEnabled() || !m_placeKept)
        return;
    m_placeKept = false;
    // Back, unless the user has put the focus somewhere else meanwhile.
    if (!window()->focusWidget() && isVisibleTo(window()))
        setFocus(m_keptKeyboardFocus ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

} // namespace dorv
