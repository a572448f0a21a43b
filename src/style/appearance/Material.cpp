#include "style/appearance/Material.h"

#include "style/appearance/PivraAppearance.h"

#include <QPainter>

namespace pivra {

namespace {

// How far what lies beneath is shrunk before it is spread again: the blur's
// reach, in pixels.
constexpr int blurReach = 16;
// The canvas laid over the blurred backdrop, and over nothing.
constexpr double tintOverBackdrop = 0.7;
constexpr double tintAlone = 0.92;

// `beneath` as it shows under `area` of `over`, blurred, at the ratio
// `over` is painted at.
QImage blurredBackdrop(QWidget& beneath, const QWidget& over, const QRect& area, double ratio)
{
    QImage image((QSizeF(area.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    const QPoint from = beneath.mapFromGlobal(over.mapToGlobal(area.topLeft()));
    beneath.render(&image, QPoint(), QRegion(QRect(from, area.size())), QWidget::DrawChildren);
    // Shrinking smoothly averages each block; spreading it again smoothly
    // joins the blocks: a blur of about the block's size, at little cost.
    const QSize small(std::max(1, image.width() / blurReach), std::max(1, image.height() / blurReach));
    QImage blurred = image.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    blurred.setDevicePixelRatio(ratio);
    return blurred;
}

} // namespace

void Material::paint(QPainter& painter, const QWidget& over, const QPainterPath& shape) const
{
    const bool dark = PivraAppearance::isDark(over.palette());
    const bool backdrop = beneath_ && beneath_->isVisible();
    painter.save();
    painter.setClipPath(shape, Qt::IntersectClip);
    if (backdrop) {
        const QRect area = shape.boundingRect().toAlignedRect();
        const double ratio = painter.device()->devicePixelRatioF();
        painter.drawImage(area.topLeft(), blurredBackdrop(*beneath_, over, area, ratio));
    }
    painter.fillPath(shape, PivraAppearance::withOpacity(PivraAppearance::canvas(dark),
                                                         backdrop ? tintOverBackdrop : tintAlone));
    painter.restore();
}

} // namespace pivra
