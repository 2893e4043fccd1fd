#include "ui/widgets/rowlist.h"

#include "ui/style.h"
#include "ui/widgets/plainbutton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>

namespace dorv {

// Pixels one wheel notch or one arrow step scrolls: about one row.
constexpr int kScrollStep = 24;

RowList::RowList(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The bar floats over the rows' trailing padding, as an overlay scroller does: the rows keep
    // their width whether it shows or not, so a bar appearing never wraps a name anew.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    // Rows show on the window's background: their labels take the window's text colours, not
    // the text colours of an editable list.
    viewport()->setBackgroundRole(QPalette::Window);
    m_bar = new QScrollBar(Qt::Vertical, this);
    style::makeSlim(m_bar);
    m_bar->hide();
    m_bar->setFocusPolicy(Qt::NoFocus);
    connect(m_bar, &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_bar, &QScrollBar::setValue);
    connect(m_bar, &QScrollBar::actionTriggered, this, [this] { m_reveal = -1; });
    // With rows, the list is one stop of the window's Tab chain and Tab then walks the rows
    // (focusNextPrevChild); without, it is none.
    setFocusPolicy(Qt::NoFocus);
}

void RowList::setKeys(const QStringList &keys)
{
    const Spot spot = focusSpot();
    QWidget *focused = spot.index >= 0 ? rowWidget(spot.index) : nullptr;
    const QString key = spot.index >= 0 ? m_keys.value(spot.index) : QString();
    m_keys = keys;
    m_measuredWidth = -1;
    for (auto it = m_bound.begin(); it != m_bound.end(); ++it)
        it.value() = -1;
    int target = -1;
    if (focused && !keys.isEmpty()) {
        // The same row if its key is still there, else the row that took its place.
        target = spot.index < keys.size() && keys[spot.index] == key ? spot.index
                                                                     : int(keys.indexOf(key));
        if (target < 0)
            target = qMin(spot.index, int(keys.size()) - 1);
        m_bound[focused] = target; // the focused widget stays, so focus and its ring stay
        bindRow(focused, target);
    }
    if (m_reveal >= count())
        m_reveal = -1;
    setFocusPolicy(keys.isEmpty() ? Qt::NoFocus : Qt::TabFocus);
    if (focused && target < 0)
        leave(false); // before its row goes: the control above the list takes the focus
    updateRange();
    if (target >= 0)
        focusRow(target, spot.stop, spot.keyboard);
    else
        layoutRows();
}

void RowList::rebindRows()
{
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
        if (it.value() >= 0)
            bindRow(it.key(), it.value());
}

void RowList::setDivider(int inset)
{
    m_divider = inset;
    m_measuredWidth = -1;
    updateRange();
    layoutRows();
}

int RowList::contentHeight(int width)
{
    measure(width);
    return m_tops.isEmpty() ? 0 : m_tops.last();
}

int RowList::spanHeight(int rows, int width)
{
    measure(width);
    int most = 0;
    for (int i = 0; i + rows <= count(); ++i)
        most = qMax(most, m_tops[i + rows] - m_tops[i]);
    return rows >= count() ? contentHeight(width) : most;
}

void RowList::revealRow(int index)
{
    m_reveal = index;
    applyReveal();
    layoutRows();
}

QWidget *RowList::rowWidget(int index) const
{
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
        if (it.value() == index && index >= 0)
            return it.key();
    return nullptr;
}

QList<QWidget *> RowList::shownRows() const
{
    QList<QWidget *> rows;
    for (QWidget *w : m_pool)
        if (m_bound.value(w, -1) >= 0)
            rows.append(w);
    std::sort(rows.begin(), rows.end(),
              [this](QWidget *a, QWidget *b) { return m_bound.value(a) < m_bound.value(b); });
    return rows;
}

void RowList::measure(int width)
{
    if (width == m_measuredWidth)
        return;
    m_measuredWidth = width;
    const int n = count();
    m_heights.resize(n);
    m_tops.resize(n + 1);
    m_tops[0] = 0;
    for (int i = 0; i < n; ++i) {
        m_heights[i] = measureRow(i, width);
        m_tops[i + 1] = m_tops[i] + m_heights[i] + (m_divider >= 0 && i + 1 < n ? 1 : 0);
    }
}

void RowList::updateRange()
{
    // A hidden list's width may be anything: it is measured once it is shown.
    if (!isVisible())
        return;
    const int total = contentHeight(viewport()->width());
    const int page = viewport()->height();
    for (QScrollBar *bar : {verticalScrollBar(), m_bar}) {
        bar->setRange(0, qMax(0, total - page));
        bar->setPageStep(qMax(1, page));
        bar->setSingleStep(kScrollStep);
    }
    m_bar->setGeometry(width() - m_bar->sizeHint().width(), 0, m_bar->sizeHint().width(), height());
    m_bar->setVisible(total > page && page > 0);
    m_bar->raise();
}

void RowList::applyReveal()
{
    if (m_reveal < 0 || m_reveal >= count() || !isVisible() || viewport()->height() <= 0)
        return;
    measure(viewport()->width());
    const int page = viewport()->height();
    const int top = m_tops[m_reveal];
    const int bottom = top + m_heights[m_reveal];
    QScrollBar *bar = verticalScrollBar();
    if (top < bar->value() || bottom - top > page)
        bar->setValue(top);
    else if (bottom > bar->value() + page)
        bar->setValue(bottom - page);
}

int RowList::rowAt(int y) const
{
    const auto end = m_tops.cbegin() + count();
    return qMax(0, int(std::upper_bound(m_tops.cbegin(), end, y) - m_tops.cbegin()) - 1);
}

void RowList::layoutRows()
{
    if (!isVisible())
        return;
    const int width = viewport()->width();
    measure(width);
    // A shown row is measured again by its own layout: the estimate may be a pixel off.
    for (int pass = 0; pass < 3; ++pass) {
        const int top = verticalScrollBar()->value();
        const int bottom = top + viewport()->height();
        QList<int> needed;
        if (count() > 0 && viewport()->height() > 0)
            for (int i = rowAt(top); i < count() && m_tops[i] < bottom; ++i)
                needed.append(i);
        QHash<int, QWidget *> byRow;
        for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
            if (it.value() >= 0)
                byRow.insert(it.value(), it.key());
        const Spot spot = focusSpot();
        if (spot.index >= 0 && !needed.contains(spot.index))
            needed.append(spot.index); // the focused row stays, on screen or not
        QList<QWidget *> spare;
        for (QWidget *w : m_pool)
            if (!needed.contains(m_bound.value(w, -1)))
                spare.append(w);
        bool corrected = false;
        for (int i : needed) {
            QWidget *row = byRow.value(i);
            if (!row) {
                row = spare.isEmpty() ? nullptr : spare.takeFirst();
                if (!row) {
                    row = createRow(viewport());
                    if (m_oneStop)
                        row->installEventFilter(this); // its keys move inside the list
                    m_pool.append(row);
                }
                m_bound[row] = i;
                bindRow(row, i);
                const int h = row->hasHeightForWidth() ? row->heightForWidth(width)
                                                       : row->sizeHint().height();
                if (h != m_heights[i]) {
                    m_heights[i] = h;
                    corrected = true;
                }
            }
            row->setGeometry(0, m_tops[i] - top, width, m_heights[i]);
            row->show();
        }
        for (QWidget *w : spare) {
            w->hide();
            m_bound[w] = -1;
        }
        if (!corrected)
            break;
        for (int i = 0; i < count(); ++i)
            m_tops[i + 1] = m_tops[i] + m_heights[i] + (m_divider >= 0 && i + 1 < count() ? 1 : 0);
        updateRange();
        applyReveal();
    }
    viewport()->update();
}

void RowList::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
    applyReveal();
    layoutRows();
}

void RowList::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    updateRange();
    applyReveal();
    layoutRows();
}

void RowList::scrollContentsBy(int, int)
{
    layoutRows();
}

void RowList::wheelEvent(QWheelEvent *event)
{
    m_reveal = -1; // the user scrolls: the list stays where they put it
    QAbstractScrollArea::wheelEvent(event);
}

RowList::Spot RowList::focusSpot() const
{
    // The window's focus, also while another window is active.
    QWidget *focus = window()->focusWidget();
    const int index = rowOf(focus);
    if (index < 0)
        return {};
    QWidget *row = rowWidget(index);
    auto *button = qobject_cast<PlainButton *>(focus);
    return {index, int(qMax(qsizetype(0), focusStops(row).indexOf(focus))),
            button && button->showsKeyboardFocus()};
}

int RowList::rowOf(const QWidget *widget) const
{
    while (widget && widget->parentWidget() != viewport())
        widget = widget->parentWidget();
    return widget ? m_bound.value(const_cast<QWidget *>(widget), -1) : -1;
}

void RowList::focusRow(int index, int stop, bool keyboard)
{
    m_reveal = index;
    applyReveal();
    layoutRows();
    QWidget *row = rowWidget(index);
    if (!row)
        return;
    const QList<QWidget *> stops = focusStops(row);
    QWidget *target = stops.value(stop < 0 ? stops.size() - 1 : qMin(stop, int(stops.size()) - 1));
    if (target && !target->hasFocus())
        target->setFocus(keyboard ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

void RowList::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (count() == 0)
        return;
    if (m_oneStop &&
        (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason))
        focusRow(entryRow(), 0, true);
    else if (event->reason() == Qt::BacktabFocusReason)
        focusRow(count() - 1, -1, true);
    else if (event->reason() == Qt::TabFocusReason)
        focusRow(0, 0, true);
    else
        focusRow(rowAt(verticalScrollBar()->value()), 0, false);
}

bool RowList::focusNextPrevChild(bool next)
{
    const Spot spot = focusSpot();
    if (spot.index < 0)
        return QAbstractScrollArea::focusNextPrevChild(next);
    if (m_oneStop)
        return leave(next);
    const QList<QWidget *> stops = focusStops(rowWidget(spot.index));
    const int stop = spot.stop + (next ? 1 : -1);
    if (stop >= 0 && stop < stops.size()) {
        stops[stop]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    const int index = spot.index + (next ? 1 : -1);
    if (index >= 0 && index < count()) {
        focusRow(index, next ? 0 : -1, true);
        return true;
    }
    return leave(next);
}

int RowList::entryRow() const
{
    const int top = verticalScrollBar()->value();
    const int first = rowAt(top);
    return m_tops.value(first) < top && first + 1 < count() ? first + 1 : first;
}

bool RowList::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_bound.contains(static_cast<QWidget *>(watched)))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // Shortcuts (Ctrl+Q) pass; the keypad's arrows and capitals move.
    return (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0 &&
           moveFocus(key->key(), key->text());
}

bool RowList::moveFocus(int key, const QString &text)
{
    const int at = focusSpot().index;
    if (at < 0)
        return false;
    measure(viewport()->width());
    const int page = qMax(1, viewport()->height());
    int to = -1;
    switch (key) {
    case Qt::Key_Up:
        to = at - 1;
        break;
    case Qt::Key_Down:
        to = at + 1;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = count() - 1;
        break;
    case Qt::Key_PageUp: { // the first row of the page that ends with this one
        const int y = m_tops[at] + m_heights[at] - page;
        to = qMin(at - 1, rowAt(y) + (m_tops[rowAt(y)] < y ? 1 : 0));
        break;
    }
    case Qt::Key_PageDown: { // the last row of the page that starts with this one
        const int y = m_tops[at] + page;
        to = qMax(at + 1, rowAt(y) - (m_tops[rowAt(y)] + m_heights[rowAt(y)] > y ? 1 : 0));
        break;
    }
    default: {
        // Type-ahead: the next row whose key starts with the letters typed in quick succession.
        if (!m_typedAt.isValid() || m_typedAt.elapsed() > QApplication::keyboardInputInterval())
            m_typed.clear();
        // Space presses the row, unless it continues a name being typed.
        if (text.isEmpty() || !text.at(0).isPrint() || (text == u" " && m_typed.isEmpty()))
            return false;
        m_typedAt.start();
        m_typed += text;
        // A new search starts after the focused row; a longer one may stay on it.
        const int from = m_typed.size() == text.size() ? at + 1 : at;
        for (int i = 0; i < count() && to < 0; ++i)
            if (m_keys[(from + i) % count()].startsWith(m_typed, Qt::CaseInsensitive))
                to = (from + i) % count();
        if (to < 0)
            return true; // nothing starts so: the focus stays
    }
    }
    // Past either end the focus stays in the list.
    if (to >= 0 && to < count())
        focusRow(to, 0, true);
    return true;
}

bool RowList::leave(bool next)
{
    // Rows come and go, so their place in the window's focus chain means nothing: the list's
    // own place does.
    for (QWidget *w = this;;) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == this)
            return false;
        if (isAncestorOf(w) || w->isWindow() || w->focusProxy())
            continue;
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled() &&
            w->isVisibleTo(window())) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
}

void RowList::paintEvent(QPaintEvent *)
{
    if (m_divider < 0)
        return;
    QPainter p(viewport());
    const int top = verticalScrollBar()->value();
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it) {
        const int i = it.value();
        if (i >= 0 && i + 1 < count())
            p.fillRect(m_divider, m_tops[i] + m_heights[i] - top, viewport()->width() - m_divider,
                       1, style::level(style::Level::Quaternary));
    }
}

} // namespace dorv
