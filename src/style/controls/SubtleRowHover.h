#pragma once

#include <QColor>
#include <QPalette>
#include <QRectF>

class QPainter;

namespace pivra::SubtleRowHover {

// The background of a sidebar row in a rounded rectangle: the caller's
// selection fill while selected, else a faint tint of the text colour while
// the pointer is over it. `selected` and `hover` run from 0 to 1 so that
// both can fade (AnimatedValue, HoverState); selection covers hover.
void paint(QPainter& painter, const QRectF& row, const QPalette& palette, double selected,
           const QColor& selectedBackground, double hover);

} // namespace pivra::SubtleRowHover
