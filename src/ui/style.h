#pragma once

#include "bridge/bridgestate.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>

class QScrollBar;
class QWidget;

// Fonts, colours and symbol images shared by the panel, the editor and the tray icon.
namespace dorv::style {

// The platform's standard gap between the elements of a stack.
constexpr int kDefaultSpacing = 8;

enum class Level { Primary, Secondary, Tertiary, Quaternary };
enum class Tint { Green, Orange, Gray, Blue, Red };

QColor color(Tint tint);
// The palette's text colour at one of the four foreground levels.
QColor level(Level level);
QColor stateColor(BridgeState state);
QString stateLabel(BridgeState state); // "Connected", "Connecting", "Offline"

// The height one line of text needs so that no glyph is cut: the font's ascent plus the lowest
// ink below the baseline (an underscore can sit below the font's descent).
int lineHeight(const QFont &font);

// The system font at a pixel size.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool italic = false);

// A symbol ("message.fill", "gearshape", ...) drawn in one colour at a logical size, crisp at
// the given device pixel ratio.
QPixmap symbol(const QString &name, const QColor &color, int size, qreal dpr);
// A tray icon with pixmaps at the usual tray sizes.
QIcon trayIcon(const QString &name, const QColor &color, qreal dpr);

// Gives a label its font and its text colour.
void setFontAndColor(QWidget *label, const QFont &font, const QColor &color);
// The filled accent button of a window's main action, at the small control size.
void makeProminent(QWidget *button);
// The slim scroll bar of every list: a narrow rounded handle, no arrows, no track.
void makeSlim(QScrollBar *bar);

} // namespace dorv::style
