#include "support/drawncheck.h"

#include "ui/widgets/elidedlabel.h"
#include "ui/widgets/wraplabel.h"

#include <QAbstractScrollArea>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QTextLayout>
#include <QWidget>

namespace dorv::test {

namespace {

QString name(const QWidget *w)
{
    QString text = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                             : w->objectName();
    if (auto *label = qobject_cast<const QLabel *>(w))
        text += QStringLiteral(" \"%1\"").arg(label->text());
    if (auto *wrap = qobject_cast<const WrapLabel *>(w))
        text += QStringLiteral(" \"%1\"").arg(wrap->text());
    return text;
}

// One fault, its %1, %2, ... filled in order.
template <typename... Args> void fault(QStringList &faults, const char *text, const Args &...args)
{
    QString line = QString::fromUtf8(text);
    ((line = line.arg(args)), ...);
    faults << line;
}

// Ascent plus the lowest ink any glyph puts below the baseline.
int glyphHeight(const QFont &font)
{
    const QFontMetrics m(font);
    return m.ascent() +
           qMax(m.descent(), m.tightBoundingRect(QStringLiteral("_gjpqy|")).bottom() + 1);
}

// A scroll area's content may be larger than the viewport that shows it.
bool scrolledContent(const QWidget *w)
{
    const QWidget *viewport = w->parentWidget();
    auto *area =
        viewport ? qobject_cast<const QAbstractScrollArea *>(viewport->parentWidget()) : nullptr;
    return area && area->viewport() == viewport;
}

void checkLabel(const QLabel *label, QStringList &faults)
{
    const QString text = label->text();
    if (!label->pixmap().isNull()) { // a symbol: something is drawn
        const QImage image = label->pixmap().toImage();
        bool ink = false;
        for (int i = 0; i < image.width() * image.height() && !ink; ++i)
            ink = image.pixelColor(i % image.width(), i / image.width()).alpha() > 40;
        if (!ink)
            faults << QStringLiteral("%1: an empty symbol").arg(name(label));
    }
    if (label->pixmap().isNull() && !text.isEmpty()) {
        const QRect box = label->contentsRect();
        if (box.height() < glyphHeight(label->font()))
            fault(faults, "%1: %2 high, glyphs need %3", name(label), box.height(),
                  glyphHeight(label->font()));
        if (!label->wordWrap() && label->fontMetrics().horizontalAdvance(text) > box.width())
            faults << QStringLiteral("%1: text wider than the label").arg(name(label));
    }
    auto *elided = qobject_cast<const ElidedLabel *>(label);
    const QString full = elided ? elided->fullText() : label->toolTip();
    if (full.isEmpty() || full == text)
        return;
    const bool isPath = elided && label->objectName().contains(QStringLiteral("ath"));
    const qsizetype cut = text.indexOf(u'…');
    const bool middle = cut > 0 && cut < text.size() - 1 && full.startsWith(text.left(cut)) &&
                        full.endsWith(text.mid(cut + 1));
    if (!isPath || !middle)
        faults << QStringLiteral("%1: shortened from \"%2\"").arg(name(label), full);
}

void checkWidget(QWidget *w, QStringList &faults)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        checkLabel(label, faults);
    if (auto *wrap = qobject_cast<WrapLabel *>(w)) {
        // Laid out here, not by the label: its own arithmetic may be the fault.
        QTextLayout layout(wrap->text(), wrap->font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        int lines = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(wrap->width());
            ++lines;
        }
        layout.endLayout();
        const int needed = (lines - 1) * wrap->fontMetrics().height() + glyphHeight(wrap->font());
        if (wrap->height() < needed)
            fault(faults, "%1: %2 high, its %3 lines need %4", name(wrap), wrap->height(), lines,
                  needed);
    }
    QWidget *parent = w->parentWidget();
    if (parent && !w->isWindow() && !scrolledContent(w) && !parent->rect().contains(w->geometry()))
        faults << QStringLiteral("%1 reaches outside %2").arg(name(w), name(parent));
    // Rows of a stack keep their natural height: no gaps, nothing squeezed.
    auto *box = qobject_cast<QBoxLayout *>(w->layout());
    if (box && box->direction() == QBoxLayout::TopToBottom &&
        w->objectName() == QStringLiteral("menuContentView")) {
        int sum = box->contentsMargins().top() + box->contentsMargins().bottom();
        for (int i = 0; i < box->count(); ++i) {
            QWidget *row = box->itemAt(i)->widget();
            if (!row || row->isHidden())
                continue;
            const int natural = row->hasHeightForWidth() ? row->heightForWidth(row->width())
                                                         : row->sizeHint().height();
            const int wanted = qBound(row->minimumHeight(), natural, row->maximumHeight());
            if (row->height() != wanted)
                fault(faults, "%1: %2 high, its content %3", name(row), row->height(), wanted);
            sum += row->height();
        }
        if (sum != w->height())
            fault(faults, "%1: %2 high, its rows %3", name(w), w->height(), sum);
    }
}

} // namespace

QStringList drawnFaults(QWidget *window, const Surroundings &around)
{
    QStringList faults;
    const QRect frame = window->frameGeometry();
    if (!around.screen.isEmpty() && !around.screen.contains(frame))
        faults << QStringLiteral("window %1 outside the screen %2")
                      .arg(QDebug::toString(frame), QDebug::toString(around.screen));
    // A window that scrolls uses all the room the screen gives it; one that does not, shows no
    // more than its content.
    for (auto *area : window->findChildren<QScrollArea *>()) {
        const int shown = area->viewport()->height();
        const int content = area->widget() ? area->widget()->height() : shown;
        const bool atEdge = frame.bottom() == around.screen.bottom() ||
                            frame.top() == around.screen.top() || around.screen.isEmpty();
        if (shown > content || (shown < content && !atEdge))
            faults << QStringLiteral("window shows %1 of its content's %2").arg(shown).arg(content);
    }
    if (!around.icon.isEmpty() && frame.intersects(around.icon))
        faults << QStringLiteral("window covers the tray icon");
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->isVisible() && w->window() == window)
            checkWidget(w, faults);
    }
    return faults;
}

} // namespace dorv::test
