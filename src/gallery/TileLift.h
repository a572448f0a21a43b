#pragma once

#include "style/motion/Motion.h"

#include <QRectF>
#include <QString>
#include <QVariantAnimation>

class QWidget;

namespace pivra {

// The lift of the tile under the pointer in a painted grid: the tile grows
// along `curve` as the pointer comes and shrinks back as it leaves, one tile
// each way at a time, repainting `viewport` as it goes. With reduced motion
// tiles do not lift. GUI thread only.
class TileLift {
public:
    TileLift(QWidget& viewport, MotionCurve curve);

    // Moves the lift to the tile of `id` (empty: none). Answers whether the
    // hovered tile changed.
    bool hover(const QString& id);
    const QString& hovered() const { return hovered_; }

    // How far the tile of `id` is lifted: 0 at rest, 1 fully.
    double amount(const QString& id) const;
    // `rect` grown about its centre by `fraction` of its size at the lift of `id`.
    QRectF lifted(const QString& id, const QRectF& rect, double fraction) const;

private:
    MotionCurve curve_;
    QString hovered_;
    QString leaving_;
    QVariantAnimation in_;
    QVariantAnimation out_;
};

} // namespace pivra
