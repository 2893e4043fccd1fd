#include "ui/widgets/plainbutton.h"

#include "ui/style.h"
#include "ui/widgets/focusring.h"

#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>

namespace dorv {

PlainButton::PlainButton(QWidget *parent) : FocusButton(parent)
{
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
    if (showsFocus())
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
    FocusButton::changeEvent(event);
}

} // namespace dorv
