#include "ui/widgets/wraplabel.h"

#include "ui/style.h"

#include <QPainter>
#include <QTextLayout>
#include <QtMath>
#include <array>

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
    return {fontMetrics().averageCharWidth(), style::lineHeight(font())};
}

int WrapLabel::heightForWidth(int width) const
{
    return heightFor(m_text, font(), width);
}

namespace {

// Whether `text` surely fits one line of `width`: printable ASCII summed from a table of the
// font's advances, a little slack for kerning. A table lookup per character is what lets a
// list of thousands of names be measured in well under a millisecond.
bool surelyOneLine(const QString &text, const QFont &font, int width)
{
    static QFont tableFont; // the main thread's last font and its advances
    static std::array<qreal, 128> advances{};
    static bool filled = false;
    if (!filled || !(font == tableFont)) {
        const QFontMetricsF metrics(font);
        for (char16_t c = 32; c < 127; ++c)
            advances[c] = metrics.horizontalAdvance(QChar(c));
        tableFont = font;
        filled = true;
    }
    constexpr qreal kSlack = 2;
    qreal advance = kSlack;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 32 || c > 126)
            return false;
        advance += advances[c];
    }
    return advance < width;
}

} // namespace

int WrapLabel::heightFor(const QString &text, const QFont &font, int width)
{
    auto laidOut = [&](const QString &shown) {
        QTextLayout layout(shown, font);
        layout.setTextOption(wrapOption());
        layout.beginLayout();
        qreal height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(qMax(1, width));
            height += line.height();
        }
        layout.endLayout();
        // The last line's underscores and descenders may reach below the font's descent.
        const int below = style::lineHeight(font) - QFontMetrics(font).height();
        return qMax(style::lineHeight(font), qCeil(height) + below);
    };
    // Most names fit on one line: those need no layout, which counts in a list of thousands. A
    // row on screen is laid out in full anyway.
    if (surelyOneLine(text, font, width) ||
        (!text.contains(u'\n') && QFontMetrics(font).horizontalAdvance(text) < width)) {
        static QFont lastFont; // the main thread's last font and its one-line height
        static int oneLine = -1;
        if (oneLine < 0 || !(font == lastFont)) {
            lastFont = font;
            oneLine = laidOut(QStringLiteral("x"));
        }
        return oneLine;
    }
    return laidOut(text);
}

void WrapLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(QRectF(rect()), m_text, wrapOption());
}

} // namespace dorv
