#include "ui/widgets/plainbutton.h"

#include "ui/style.h"
#include "ui/widgets/focusring.h"

#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>

namespace dorv {

PlainButton::PlainButton(QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    // Buttons are fixed-height by default: rows whose names wrap must be able to grow.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

// The total sizes include the button's own contents margins, so glyphs padded inside it are
// not cut off.
QSize PlainButton::sizeHint() const
{
    return layout() ? layout()->totalSizeHint() : QSize();
}

QSize PlainButton::minimumSizeHint() const
{
    return layout() ? layout()->totalMinimumSize() : QSize();
}

bool PlainButton::hasHeightForWidth() const
{
    return layout() && layout()->hasHeightForWidth();
}

int PlainButton::heightForWidth(int width) const
{
    return layout() ? layout()->totalHeightForWidth(width) : -1;
}

void PlainButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (isDown())
        p.fillRect(rect(), style::level(style::Level::Quaternary));
    if (hasFocus() && m_keyboardFocus)
        drawFocusRing(p, QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 4);
}

void PlainButton::changeEvent(QEvent *event)
{
    // The disabled appearance: the whole item faded.
    if (event->type() == QEvent::EnabledChange) {
        if (isEnabled()) {
            setGraphicsEffect(nullptr);
        } else {
            auto *fade = new QGraphicsOpacityEffect(this);
            fade->setOpacity(0.35);
            setGraphicsEffect(fade);
        }
    }
    QAbstractButton::changeEvent(event);
}

void PlainButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void PlainButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = showsFocusRing(event->reason());
    QAbstractButton::focusInEvent(event);
}

void PlainButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace dorv
