#include "ui/widgets/switchbutton.h"

#include "ui/style.h"
#include "ui/widgets/focusring.h"

#include <QFocusEvent>
#include <QPainter>

namespace dorv {

SwitchButton::SwitchButton(QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SwitchButton::sizeHint() const
{
    // Room around the track for the focus ring.
    return {36, 22};
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5);
    const qreal r = track.height() / 2;
    if (hasFocus() && m_keyboardFocus)
        drawFocusRing(p, track.adjusted(-1.5, -1.5, 1.5, 1.5), r + 1.5);
    p.setPen(Qt::NoPen);
    QColor off = style::level(style::Level::Primary);
    off.setAlphaF(0.18);
    p.setBrush(isChecked() ? style::color(style::Tint::Blue) : off);
    p.drawRoundedRect(track, r, r);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(QColor(Qt::white));
    p.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

void SwitchButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = showsFocusRing(event->reason());
    QAbstractButton::focusInEvent(event);
}

void SwitchButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace dorv
