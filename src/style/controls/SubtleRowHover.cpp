#include "style/controls/SubtleRowHover.h"

#include "style/appearance/PivraAppearance.h"

#include <QPainter>
#include <QPainterPath>

namespace pivra::SubtleRowHover {

void paint(QPainter& painter, const QRectF& row, const QPalette& palette, double selected,
           const QColor& selectedBackground, double hover)
{
    constexpr qreal cornerRadius = 8;
    QPainterPath shape;
    shape.addRoundedRect(row, cornerRadius, cornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (selected < 1 && hover > 0) {
        painter.fillPath(shape, PivraAppearance::primary(palette, 0.06 * hover * (1 - selected)));
    }
    if (selected > 0) {
        painter.fillPath(shape, PivraAppearance::withOpacity(selectedBackground, selectedBackground.alphaF() * selected));
    }
    painter.restore();
}

} // namespace pivra::SubtleRowHover
