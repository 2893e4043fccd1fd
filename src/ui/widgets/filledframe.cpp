#include "ui/widgets/filledframe.h"

#include <QPainter>

namespace dorv {

FilledFrame::FilledFrame(qreal radius, QWidget *parent) : QWidget(parent), m_radius(radius) {}

void FilledFrame::setFill(const QColor &color)
{
    if (color != m_fill) {
        m_fill = color;
        update();
    }
}

void FilledFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(m_fill);
    const qreal r = m_radius < 0 ? height() / 2.0 : m_radius;
    p.drawRoundedRect(QRectF(rect()), r, r);
}

} // namespace dorv
