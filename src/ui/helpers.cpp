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
