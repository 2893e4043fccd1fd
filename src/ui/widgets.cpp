#include "widgets.h"

#include "style.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextLayout>
#include <QtMath>
#include <cmath>

namespace dorv {

SwitchButton::SwitchButton(QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SwitchButton::sizeHint() const
{
    return {32, 18};
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal r = track.height() / 2;
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
    QColor base = style::level(style::Level::Primary);
    for (int i = 0; i < 8; ++i) {
        QColor col = base;
        col.setAlphaF(base.alphaF() * (0.15 + 0.85 * (((i - m_step + 8) % 8) / 7.0)));
        p.setPen(QPen(col, qMax(1.0, outer / 4), Qt::SolidLine, Qt::RoundCap));
        const qreal a = i * M_PI / 4;
        p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * outer * 0.45,
                   c + QPointF(std::cos(a), std::sin(a)) * outer * 0.95);
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

Dot::Dot(int diameter, QWidget *parent) : QWidget(parent), m_diameter(diameter)
{
    // Room around the circle for the glow.
    setFixedSize(diameter + 6, diameter + 6);
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
    const QPointF c = QRectF(rect()).center();
    if (m_glowing) {
        QRadialGradient glow(c, m_diameter / 2.0 + 3);
        QColor inner = m_color;
        inner.setAlphaF(0.4);
        QColor outer = m_color;
        outer.setAlphaF(0);
        glow.setColorAt(m_diameter / (m_diameter + 6.0), inner);
        glow.setColorAt(1, outer);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, m_diameter / 2.0 + 3, m_diameter / 2.0 + 3);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(m_color);
    p.drawEllipse(c, m_diameter / 2.0, m_diameter / 2.0);
}

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

int ContextBar::fillWidth() const
{
    return qRound(width() * m_fraction);
}

void ContextBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(style::level(style::Level::Quaternary));
    p.drawRoundedRect(QRectF(rect()), 1.5, 1.5);
    if (fillWidth() > 0) {
        p.setBrush(m_color);
        p.drawRoundedRect(QRectF(0, 0, width() * m_fraction, height()), 1.5, 1.5);
    }
}

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setWordWrap(false);
}

void ElidedLabel::setFullText(const QString &text)
{
    m_full = text;
    setToolTip(text);
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

QSize ElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_full), fontMetrics().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, width()));
}

namespace {
QTextOption wrapOption()
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}
} // namespace

WrapLabel::WrapLabel(QWidget *parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrapLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void WrapLabel::setColor(const QColor &color)
{
    m_color = color;
    update();
}

QSize WrapLabel::sizeHint() const
{
    return {qMin(fontMetrics().horizontalAdvance(m_text), 400), fontMetrics().height()};
}

QSize WrapLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth(), fontMetrics().height()};
}

int WrapLabel::heightForWidth(int width) const
{
    QTextLayout layout(m_text, font());
    layout.setTextOption(wrapOption());
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        height += line.height();
    }
    layout.endLayout();
    return qMax(fontMetrics().height(), qCeil(height));
}

void WrapLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(QRectF(rect()), m_text, wrapOption());
}

PlainButton::PlainButton(QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QSize PlainButton::sizeHint() const
{
    return layout() ? layout()->sizeHint() : QSize();
}

QSize PlainButton::minimumSizeHint() const
{
    return layout() ? layout()->minimumSize() : QSize();
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
    if (!isDown())
        return;
    QPainter p(this);
    p.fillRect(rect(), style::level(style::Level::Quaternary));
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

QWidget *makeDivider(QWidget *parent, int inset)
{
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("divider"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(inset, 0, 0, 0);
    auto *line = new FilledFrame(0, row);
    line->setFixedHeight(1);
    line->setFill(style::level(style::Level::Quaternary));
    layout->addWidget(line);
    return row;
}

} // namespace dorv
