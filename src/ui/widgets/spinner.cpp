#include "ui/widgets/spinner.h"

#include "ui/style.h"

#include <QPainter>
#include <QtMath>
#include <cmath>

namespace dorv {

Spinner::Spinner(QWidget *parent) : QWidget(parent)
{
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 8;
        update();
    });
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(rect()).center();
    const qreal outer = qMin(width(), height()) / 2.0;
    const QColor base = style::level(style::Level::Primary);
    for (int i = 0; i < 8; ++i) {
        QColor col = base;
        col.setAlphaF(base.alphaF() * (0.15 + 0.85 * (((i - m_step + 8) % 8) / 7.0)));
        p.setPen(QPen(col, qMax(1.0, outer / 4), Qt::SolidLine, Qt::RoundCap));
        const QPointF dir(std::cos(i * M_PI / 4), std::sin(i * M_PI / 4));
        p.drawLine(c + dir * outer * 0.45, c + dir * outer * 0.95);
    }
}

void Spinner::showEvent(QShowEvent *)
{
    m_timer.start();
}

void Spinner::hideEvent(QHideEvent *)
{
    m_timer.stop();
}

} // namespace dorv
