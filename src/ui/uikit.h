#pragma once

#include <QMargins>
#include <QObject>
#include <functional>

class QBoxLayout;
class QColor;
class QFont;
class QHBoxLayout;
class QLabel;
class QLayout;
class QScrollArea;
class QString;
class QVBoxLayout;
class QWidget;

// Small building blocks shared by the panel and the editor.
namespace dorv::uikit {

// The height one line of text needs so that no glyph is cut: the font's ascent plus the lowest
// ink below the baseline (an underscore can sit below the font's descent).
int lineHeight(const QFont &font);

// A one-line text label in a font and colour, tall enough for every glyph, transparent to clicks.
QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent);

QHBoxLayout *hbox(QWidget *owner, int spacing, QMargins margins = {});
QVBoxLayout *vbox(QWidget *owner, int spacing, QMargins margins = {});

// Deletes the items of a layout from position `from` on, with their widgets.
void clearLayout(QLayout *layout, int from = 0);

// A thin full-width separator line; `inset` leaves room at the leading side.
QWidget *makeDivider(QWidget *parent, int inset = 0);

// A vertically scrolling column without a frame or a horizontal bar, transparent, so its parent
// shows beside the rows; the column's layout goes to *rows.
QScrollArea *makeScrollingColumn(QWidget *parent, const QString &name, QVBoxLayout **rows);

// A project's name (wrapping, no line limit) over its path (one line, shortened in the middle),
// spacing 1; no path line when `path` is null.
QVBoxLayout *nameOverPath(QWidget *owner, const QString &name, const QFont &nameFont,
                          const QString &path, const QString &nameObject,
                          const QString &pathObject);

// Runs a refresh at most once per event-loop pass, however often it is requested.
class Coalescer : public QObject {
public:
    Coalescer(QObject *parent, std::function<void()> refresh);
    void request();
    // The refresh ran directly: a pending one is dropped.
    void cancel() { m_pending = false; }

private:
    std::function<void()> m_refresh;
    bool m_pending = false;
};

} // namespace dorv::uikit
