#include "ui/widgets/wraplabel.h"

#include "ui/uikit.h"

#include <QPainter>
#include <QTextLayout>
#include <QtMath>

namespace dorv {

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
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void WrapLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    // Layouts cache heights per width all the way up: every one of them must see the new text.
    for (QWidget *w = this; w && !w->isWindow(); w = w->parentWidget())
        w->updateGeometry();
    update();
}

void WrapLabel::setColor(const QColor &color)
{
    m_color = color;
    update();
}

QSize WrapLabel::sizeHint() const
{
    return {qMin(fontMetrics().horizontalAdvance(m_text), 400), heightForWidth(400)};
}

QSize WrapLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth(), uikit::lineHeight(font())};
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
    // The last line's underscores and descenders may reach below the font's descent.
    const int below = uikit::lineHeight(font()) - fontMetrics().height();
    return qMax(uikit::lineHeight(font()), qCeil(height) + below);
}

void WrapLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(QRectF(rect()), m_text, wrapOption());
}

} // namespace dorv
