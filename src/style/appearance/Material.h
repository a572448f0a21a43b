#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QWidget>

namespace pivra {

// The frosted fill of a control laid over live content, such as the map:
// what lies beneath the control, blurred and tinted with the canvas, so its
// text reads alike over land, sea and a crowd of photo pins, while the
// colours beneath still show through. Without content beneath (none given,
// or hidden) it is the canvas tint alone, a little denser.
class Material {
public:
    // `beneath`: the widget the control lies over, painted into the
    // material's image when the control is; none for the tint alone.
    void setBeneath(QWidget* beneath) { beneath_ = beneath; }

    // Fills `shape`, in `over`'s coordinates, while `over` paints.
    void paint(QPainter& painter, const QWidget& over, const QPainterPath& shape) const;

private:
    QPointer<QWidget> beneath_;
};

} // namespace pivra
