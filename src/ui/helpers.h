#pragma once

#include <QMargins>
#include <QObject>
#include <functional>

class QBoxLayout;
class QColor;
class QFont;
class QHBoxLayout;
class QLabel;
class QString;
class QVBoxLayout;
class QWidget;

namespace dorv {
class ElidedLabel;
class PlainButton;
class WrapLabel;
} // namespace dorv

// Small building blocks shared by the panel and the editor.
namespace dorv::helpers {

// A one-line text label in a font and colour, tall enough for every glyph, transparent to clicks.
QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent);

QHBoxLayout *hbox(QWidget *owner, int spacing, QMargins margins = {});
QVBoxLayout *vbox(QWidget *owner, int spacing, QMargins margins = {});

// Room left around a symbol button's glyph, so the focus ring is drawn around it, not over it.
constexpr int kRingRoom = 4;

// A plain button showing one symbol, with kRingRoom around it; the symbol is its child label.
PlainButton *symbolButton(const QString &name, int size, const QColor &color, QWidget *parent);
// A symbol drawn in one colour at a size, transparent to clicks.
QLabel *symbolLabel(const QString &name, int size, const QColor &color, QWidget *parent);
// A path to show under a name: never null, since a null path means no path line.
inline QString shownPath(const QString &path)
{
    return path.isNull() ? QStringLiteral("") : path;
}
void setSymbol(PlainButton *button, const QString &name, int size, const QColor &color);

// A name from the bridge as drawn: isolated from the writing direction around it (FSI…PDI), with
// every character that would draw as nothing, as a box, as a plain space or as a change of
// direction shown by its code instead (C0 and C1 controls, DEL, bidi and other format
// controls, unassigned code points, other spaces: "x\ny" draws as "x‹U+000A›y"). Control
// pictures and ‹ are shown by their codes too, so two different names never draw the same. Only
// for showing: the bridge's own string is what goes back to it.
QString shownName(const QString &name);
// The same without the isolation marks, for a screen reader.
QString visibleName(const QString &name);

// A thin full-width separator line; `inset` leaves room at the leading side.
QWidget *makeDivider(QWidget *parent, int inset = 0);

// A project's name (wrapping, no line limit) over its path (one line, shortened in the middle),
// spacing 1; filled by show().
struct NameOverPath {
    QVBoxLayout *column = nullptr;
    WrapLabel *name = nullptr;
    ElidedLabel *path = nullptr;
    // No path line when `path` is null.
    void show(const QString &nameText, const QString &pathText) const;
    // The column's height at `width`, without widgets.
    static int heightFor(const QString &nameText, const QFont &nameFont, bool hasPath, int width);
};
NameOverPath nameOverPath(QWidget *owner, const QFont &nameFont, const QString &nameObject,
                          const QString &pathObject);

} // namespace dorv::helpers
