#include "ui/style.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QWidget>

namespace dorv::style {

namespace {
bool isDark()
{
    return QApplication::palette().color(QPalette::Window).lightness() < 128;
}
} // namespace

QColor color(Tint tint)
{
    const bool dark = isDark();
    switch (tint) {
    case Tint::Green:
        return dark ? QColor(0x30, 0xd1, 0x58) : QColor(0x34, 0xc7, 0x59);
    case Tint::Orange:
        return dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xff, 0x95, 0x00);
    case Tint::Gray:
        return dark ? QColor(0x98, 0x98, 0x9d) : QColor(0x8e, 0x8e, 0x93);
    case Tint::Blue:
        return dark ? QColor(0x0a, 0x84, 0xff) : QColor(0x00, 0x7a, 0xff);
    case Tint::Red:
        break;
    }
    return dark ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30);
}

QColor level(Level level)
{
    static constexpr qreal alphas[] = {0.85, 0.50, 0.26, 0.10};
    QColor c = QApplication::palette().color(QPalette::WindowText);
    c.setAlphaF(alphas[int(level)]);
    return c;
}

QColor stateColor(BridgeState state)
{
    switch (state) {
    case BridgeState::Connected:
        return color(Tint::Green);
    case BridgeState::Connecting:
        return color(Tint::Orange);
    case BridgeState::Offline:
        break;
    }
    return color(Tint::Gray);
}

QString stateLabel(BridgeState state)
{
    QString text = toText(state);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

int lineHeight(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int inkBelow = metrics.tightBoundingRect(QStringLiteral("_gjpqy|")).bottom() + 1;
    return metrics.ascent() + qMax(metrics.descent(), inkBelow);
}

QFont font(int pixelSize, QFont::Weight weight, bool italic)
{
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    f.setItalic(italic);
    return f;
}

namespace {

// Icons are made once per look and kept: a state that flips at every poll then reuses the
// same few images. A new QIcon each time is a new key in Qt's pixmap cache, and those images
// stayed there (up to the cache's 10 MB) for a flapping bridge. The looks are few (a handful
// of symbols, colours and pixel ratios), so nothing is ever evicted; they go with the
// application.
template <typename T> QHash<QString, T> &madeOnce()
{
    static QHash<QString, T> made;
    static const bool dropOnExit = [] {
        qAddPostRoutine([] { made.clear(); });
        return true;
    }();
    Q_UNUSED(dropOnExit);
    return made;
}

QString lookKey(const QString &name, const QColor &color, int size, qreal dpr)
{
    return QStringLiteral("%1/%2/%3@%4")
        .arg(name, color.name(QColor::HexArgb), QString::number(size), QString::number(dpr));
}

} // namespace

QPixmap symbol(const QString &name, const QColor &color, int size, qreal dpr)
{
    QPixmap &made = madeOnce<QPixmap>()[lookKey(name, color, size, dpr)];
    if (!made.isNull())
        return made;
    const int device = qMax(1, qRound(size * dpr));
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(0, 0, device, device));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    made = QPixmap::fromImage(image);
    made.setDevicePixelRatio(dpr);
    return made;
}

QIcon trayIcon(const QString &name, const QColor &color, qreal dpr)
{
    QIcon &made = madeOnce<QIcon>()[lookKey(name, color, 0, dpr)];
    if (made.isNull())
        for (int size : {16, 22, 24, 32})
            made.addPixmap(symbol(name, color, size, dpr));
    return made;
}

void makeSlim(QScrollBar *bar)
{
    bar->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 8px; background: transparent; margin: 2px; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 2px;"
                       " min-height: 24px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(level(Level::Tertiary).name(QColor::HexArgb)));
}

void setFontAndColor(QWidget *label, const QFont &font, const QColor &color)
{
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    label->setPalette(palette);
}

void makeProminent(QWidget *button)
{
    const QColor blue = color(Tint::Blue);
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                       " border-radius: 5px; padding: 3px 14px; }"
                       "QPushButton:pressed { background: %2; }"
                       "QPushButton:focus { outline: none; border: 2px solid %3; }")
            .arg(blue.name(), blue.darker(120).name(), blue.lighter(160).name()));
}

} // namespace dorv::style
