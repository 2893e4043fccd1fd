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
namespace dorv::uikit {

// The height one line of text needs so that no glyph is cut: the font's ascent plus the lowest
// ink below the baseline (an underscore can sit below the font's descent).
int lineHeight(const QFont &font);

// A one-line text label in a font and colour, tall enough for every glyph, transparent to clicks.
QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent);

QHBoxLayout *hbox(QWidget *owner, int spacing, QMargins margins = {});
QVBoxLayout *vbox(QWidget *owner, int spacing, QMargins margins = {});

// Room left around a symbol button's glyph, so the focus ring is drawn around it, not over it.
constexpr int kRingRoom = 4;

// A plain button showing one symbol, with kRingRoom around it; the symbol is its child label.
PlainButton *symbolButton(const QString &name, int size, const QColor &color, QWidget *parent);
void setSymbol(PlainButton *button, const QString &name, int size, const QColor &color);

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
