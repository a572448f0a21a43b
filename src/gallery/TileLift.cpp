#include "gallery/TileLift.h"

#include <QWidget>

namespace pivra {

TileLift::TileLift(QWidget& viewport, MotionCurve curve) : curve_(std::move(curve))
{
    for (QVariantAnimation* lift : {&in_, &out_}) {
        lift->setStartValue(0.0);
        lift->setEndValue(1.0);
        QObject::connect(lift, &QVariantAnimation::valueChanged, &viewport, qOverload<>(&QWidget::update));
    }
}

bool TileLift::hover(const QString& id)
{
    if (id == hovered_) {
        return false;
    }
    if (!hovered_.isEmpty() && !Motion::reduced()) {
        leaving_ = hovered_;
        Motion::apply(out_, curve_);
        out_.stop();
        out_.start();
    }
    hovered_ = id;
    in_.stop();
    in_.setCurrentTime(0);
    if (!id.isEmpty() && !Motion::reduced()) {
        Motion::apply(in_, curve_);
        in_.start();
    }
    return true;
}

double TileLift::amount(const QString& id) const
{
    if (id == hovered_) {
        return in_.currentValue().toDouble();
    }
    return id == leaving_ && out_.state() == QAbstractAnimation::Running ? 1 - out_.currentValue().toDouble() : 0;
}

QRectF TileLift::lifted(const QString& id, const QRectF& rect, double fraction) const
{
    const double grow = fraction * amount(id) / 2;
    return rect.adjusted(-rect.width() * grow, -rect.height() * grow, rect.width() * grow, rect.height() * grow);
}

} // namespace pivra
