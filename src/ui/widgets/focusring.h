#pragma once

#include <QRectF>
#include <Qt>

class QPainter;

// The keyboard focus indication shared by the custom controls: an accent outline.
namespace dorv {

void drawFocusRing(QPainter &painter, const QRectF &rect, qreal radius);
// Focus shows a ring unless a click put it there: the controls take focus only from the
// keyboard, from the window becoming active, or from a row rebuilt in place.
bool showsFocusRing(Qt::FocusReason reason);

} // namespace dorv
