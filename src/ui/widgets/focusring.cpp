#include "ui/widgets/focusring.h"

#include "ui/style.h"

#include <QPainter>

namespace dorv {

void drawFocusRing(QPainter &painter, const QRectF &rect, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor ring = style::color(style::Tint::Blue);
    ring.setAlphaF(0.8);
    painter.setPen(QPen(ring, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
}

bool showsFocusRing(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::ShortcutFocusReason || reason == Qt::ActiveWindowFocusReason;
}

} // namespace dorv
