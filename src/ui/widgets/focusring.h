#pragma once

#include <QRectF>
#include <Qt>

class QPainter;

// The keyboard focus indication shared by the custom controls: an accent outline.
namespace dorv {

void drawFocusRing(QPainter &painter, const QRectF &rect, qreal radius);
// Focus that the keyboard moved (Tab, Backtab, a shortcut) shows a ring, and so does focus a
// window gives back when it becomes active again; a click, or the program, does not.
bool showsFocusRing(Qt::FocusReason reason);

} // namespace dorv
