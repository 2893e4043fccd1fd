#include "ui/helpers.h"

#include "ui/style.h"
#include "ui/widgets/elidedlabel.h"
#include "ui/widgets/filledframe.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/wraplabel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace dorv::helpers {

namespace {
QFont pathFont()
{
    return style::font(10);
}

// Characters that draw as nothing, as a box, as a plain space or as another character.
bool hidden(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:    // bidi embeddings, overrides and isolates, zero widths, BOM
    case QChar::Other_Surrogate: // a lone half of a pair
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    case QChar::Separator_Space:
        return c != u' ';
    default:
        // Invisible letters and marks, control pictures (few fonts have them: boxes), and the
        // mark that opens a code, so what is shown stays unambiguous.
        return c == 0x034f || c == 0x115f || c == 0x1160 || c == 0x17b4 || c == 0x17b5 ||
               c == 0x3164 || c == 0xffa0 || (c >= 0x2400 && c <= 0x243f) || c == 0x2039;
    }
}
} // namespace

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    style::setFontAndColor(label, font, color);
    label->setMinimumHeight(style::lineHeight(font));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QHBoxLayout *hbox(QWidget *owner, int spacing, QMargins margins)
{
    auto *layout = new QHBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

QVBoxLayout *vbox(QWidget *owner, int spacing, QMargins margins)
{
    auto *layout = new QVBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

PlainButton *symbolButton(const QString &name, int size, const QColor &color, QWidget *parent)
{
    auto *button = new PlainButton(parent);
    auto *layout = hbox(button, 0, {kRingRoom, kRingRoom, kRingRoom, kRingRoom});
    auto *icon = symbolLabel(name, size, color, button);
    icon->setObjectName(QStringLiteral("symbol"));
    layout->addWidget(icon);
    return button;
}

QLabel *symbolLabel(const QString &name, int size, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setPixmap(style::symbol(name, color, size, parent->devicePixelRatioF()));
    return label;
}

void setSymbol(PlainButton *button, const QString &name, int size, const QColor &color)
{
    button->findChild<QLabel *>(QStringLiteral("symbol"))
        ->setPixmap(style::symbol(name, color, size, button->devicePixelRatioF()));
}

QString visibleName(const QString &name)
{
    QString shown;
    shown.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i], name[i + 1]);
            ++i;
        }
        if (hidden(c))
            shown += u'‹' + QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper() +
                     u'›';
        else
            shown += QString::fromUcs4(&c, 1);
    }
    return shown;
}

QString shownName(const QString &name)
{
    return QChar(0x2068) + visibleName(name) + QChar(0x2069);
}

QWidget *makeDivider(QWidget *parent, int inset)
{
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("divider"));
    auto *layout = hbox(row, 0, {inset, 0, 0, 0});
    auto *line = new FilledFrame(0, row);
    line->setFixedHeight(1);
    line->setFill(style::level(style::Level::Quaternary));
    layout->addWidget(line);
    return row;
}

NameOverPath nameOverPath(QWidget *owner, const QFont &nameFont, const QString &nameObject,
                          const QString &pathObject)
{
    NameOverPath parts;
    parts.column = vbox(nullptr, 1);
    parts.name = new WrapLabel(owner);
    parts.name->setObjectName(nameObject);
    parts.name->setFont(nameFont);
    parts.name->setColor(style::level(style::Level::Primary));
    parts.column->addWidget(parts.name);
    parts.path = new ElidedLabel(owner);
    parts.path->setObjectName(pathObject);
    style::setFontAndColor(parts.path, pathFont(), style::level(style::Level::Tertiary));
    parts.path->setAttribute(Qt::WA_TransparentForMouseEvents);
    parts.path->hide();
    parts.column->addWidget(parts.path);
    return parts;
}

void NameOverPath::show(const QString &nameText, const QString &pathText) const
{
    name->setText(nameText);
    if (!pathText.isNull() && pathText != path->fullText())
        path->setFullText(pathText);
    path->setVisible(!pathText.isNull());
}

int NameOverPath::heightFor(const QString &nameText, const QFont &nameFont, bool hasPath, int width)
{
    static const int pathLine = 1 + style::lineHeight(pathFont());
    return WrapLabel::heightFor(nameText, nameFont, width) + (hasPath ? pathLine : 0);
}

} // namespace dorv::helpers
