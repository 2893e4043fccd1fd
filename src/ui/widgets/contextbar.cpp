#include "ui/widgets/contextbar.h"

#include "ui/style.h"

#include <QPainter>
#include <cmath>

namespace dorv {

ContextBar::ContextBar(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(3);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ContextBar::set(qreal fraction, const QColor &fill)
{
    m_fraction = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
    m_color = fill;
    update();
}

void ContextBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(style::level(style::Level::Quaternary));
    p.drawRoundedRect(QRectF(rect()), 1.5, 1.5);
    const qreal fill = width() * m_fraction;
    if (fill >= 0.5) {
        p.setBrush(m_color);
        p.drawRoundedRect(QRectF(0, 0, fill, height()), 1.5, 1.5);
    }
}

} // namespace dorv
