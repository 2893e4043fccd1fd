#include "ui/uikit.h"

#include "ui/style.h"
#include "ui/widgets/elidedlabel.h"
#include "ui/widgets/filledframe.h"
#include "ui/widgets/wraplabel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace dorv::uikit {

int lineHeight(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int inkBelow = metrics.tightBoundingRect(QStringLiteral("_gjpqy|")).bottom() + 1;
    return metrics.ascent() + qMax(metrics.descent(), inkBelow);
}

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    style::setFontAndColor(label, font, color);
    label->setMinimumHeight(lineHeight(font));
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

void clearLayout(QLayout *layout, int from)
{
    while (layout->count() > from) {
        QLayoutItem *item = layout->takeAt(from);
        delete item->widget();
        delete item;
    }
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

QScrollArea *makeScrollingColumn(QWidget *parent, const QString &name, QVBoxLayout **rows)
{
    auto *area = new QScrollArea(parent);
    area->setObjectName(name);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFocusPolicy(Qt::NoFocus);
    area->viewport()->setAutoFillBackground(false);
    auto *column = new QWidget(area);
    *rows = vbox(column, 0);
    area->setWidget(column);
    column->setAutoFillBackground(false); // setWidget() turned it on
    return area;
}

QVBoxLayout *nameOverPath(QWidget *owner, const QString &name, const QFont &nameFont,
                          const QString &path, const QString &nameObject, const QString &pathObject)
{
    auto *column = vbox(nullptr, 1);
    auto *title = new WrapLabel(owner);
    title->setObjectName(nameObject);
    title->setFont(nameFont);
    title->setColor(style::level(style::Level::Primary));
    title->setText(name);
    column->addWidget(title);
    if (!path.isNull()) {
        auto *line = new ElidedLabel(owner);
        line->setObjectName(pathObject);
        style::setFontAndColor(line, style::font(10), style::level(style::Level::Tertiary));
        line->setFullText(path);
        line->setAttribute(Qt::WA_TransparentForMouseEvents);
        column->addWidget(line);
    }
    return column;
}

Coalescer::Coalescer(QObject *parent, std::function<void()> refresh)
    : QObject(parent), m_refresh(std::move(refresh))
{
}

void Coalescer::request()
{
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_pending)
                return;
            m_pending = false;
            m_refresh();
        },
        Qt::QueuedConnection);
}

} // namespace dorv::uikit
