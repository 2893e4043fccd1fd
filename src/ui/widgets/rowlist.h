#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QHash>
#include <QStringList>

class QScrollBar;

// A vertically scrolling list of rows that has widgets only for the rows on screen (and the
// focused one), so its cost follows what is shown, not the length of the list. Tab walks the
// rows' controls in order, or, for a list of one-control rows, enters the list at one row and
// leaves it with the next Tab while the arrows, PageUp/PageDown, Home/End and typed letters (the
// start of a key) move inside it. A row whose key survives a change of the rows keeps the focus.
namespace dorv {

class RowList : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit RowList(QWidget *parent = nullptr);

    // Replaces the rows; a key names a row across changes.
    void setKeys(const QStringList &keys);
    int count() const { return int(m_keys.size()); }
    // A one-pixel line between consecutive rows, `inset` from the leading edge (< 0: none).
    void setDivider(int inset);
    // All rows' height at `width`, dividers included.
    int contentHeight(int width);
    // The height `rows` consecutive rows need at `width` wherever the list is scrolled to.
    int spanHeight(int rows, int width);
    // Shows the rows again after their content changed but not their keys or heights.
    void rebindRows();
    // Scrolls row `index` into view, and keeps it there when the list is resized.
    void revealRow(int index);
    // The widget showing row `index`, if it is on screen.
    QWidget *rowWidget(int index) const;
    // The row widgets on screen, top to bottom.
    QList<QWidget *> shownRows() const;

protected:
    virtual QWidget *createRow(QWidget *viewport) = 0;
    virtual void bindRow(QWidget *row, int index) = 0;
    // The height of row `index` at `width`, without a widget; a shown row corrects it.
    virtual int measureRow(int index, int width) const = 0;
    // The controls of a row that take the focus, in Tab order.
    virtual QList<QWidget *> focusStops(QWidget *row) const { return {row}; }
    // Makes the list one stop of the Tab order, entered at entryRow().
    void setOneStop() { m_oneStop = true; }
    // Where Tab enters a one-stop list: by default the first row in view.
    virtual int entryRow() const;
    bool eventFilter(QObject *watched, QEvent *event) override;

    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Spot {
        int index = -1;
        int stop = 0;
        bool keyboard = false;
    };
    Spot focusSpot() const;
    int rowOf(const QWidget *widget) const;
    void measure(int width);
    void updateRange();
    void applyReveal();
    void layoutRows();
    void focusRow(int index, int stop, bool keyboard);
    bool leave(bool next);
    int rowAt(int y) const;
    bool moveFocus(int key, const QString &text);

    QStringList m_keys;
    QList<int> m_heights;
    QList<int> m_tops; // m_tops[i]: where row i starts; one more entry: the total
    int m_measuredWidth = -1;
    int m_divider = -1;
    int m_reveal = -1;
    bool m_oneStop = false;
    QString m_typed; // type-ahead: the letters typed so far
    QElapsedTimer m_typedAt;
    QScrollBar *m_bar;
    QList<QWidget *> m_pool;
    QHash<QWidget *, int> m_bound; // a shown row widget and its row
};

} // namespace dorv
