#include "ui/widgets/switchbutton.h"

#include "ui/style.h"
#include "ui/widgets/focusring.h"

#include <QFocusEvent>
#include <QPainter>

namespace dorv {

SwitchButton::SwitchButton(QWidget *parent) : FocusButton(parent)
{
    setCheckable(true);
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
    if (showsFocus())
        drawFocusRing(p, track.adjusted(-1.5, -1.5, 1.5, 1.5), r + 1.5);
    // Off, the track's outline carries the control's shape: a faint fill alone would stand out
    // from the panel by less than the 3:1 a control needs.
    QColor off = style::level(style::Level::Primary);
    off.setAlphaF(0.18);
    const QColor outline = style::level(style::Level::Secondary);
    if (isChecked()) {
        p.setPen(Qt::NoPen);
        p.setBrush(style::color(style::Tint::Blue));
    } else {
        p.setPen(QPen(outline, 1));
        p.setBrush(off);
    }
    p.drawRoundedRect(track, r, r); // a 1-px outline centred on the half pixel: crisp
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(QColor(Qt::white));
    p.setPen(isChecked() ? QPen(QColor(0, 0, 0, 40), 0.5) : QPen(outline, 1));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

} // namespace dorv
