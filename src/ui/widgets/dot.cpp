#include "ui/widgets/dot.h"

#include <QPainter>
#include <QRadialGradient>

namespace dorv {

// The glow reaches 3 beyond the circle.
constexpr int kGlow = 3;

Dot::Dot(int diameter, QWidget *parent) : QWidget(parent), m_diameter(diameter)
{
    setFixedSize(diameter + 2 * kGlow, diameter + 2 * kGlow);
}

void Dot::set(const QColor &color, bool glowing)
{
    if (color == m_color && glowing == m_glowing)
        return;
    m_color = color;
    m_glowing = glowing;
    update();
}

void Dot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF c = QRectF(rect()).center();
    const qreal r = m_diameter / 2.0;
    if (m_glowing) {
        QRadialGradient glow(c, r + kGlow);
        QColor inner = m_color;
        inner.setAlphaF(0.4);
        QColor outer = m_color;
        outer.setAlphaF(0);
        glow.setColorAt(r / (r + kGlow), inner);
        glow.setColorAt(1, outer);
        p.setBrush(glow);
        p.drawEllipse(c, r + kGlow, r + kGlow);
    }
    p.setBrush(m_color);
    p.drawEllipse(c, r, r);
}

} // namespace dorv
