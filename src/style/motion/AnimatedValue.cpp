#include "style/motion/AnimatedValue.h"

#include <QEvent>
#include <QWidget>

namespace pivra {

AnimatedValue::AnimatedValue(QWidget* owner, MotionCurve curve, double initial)
    : QObject(owner)
    , owner_(owner)
    , curve_(std::move(curve))
    , value_(initial)
    , target_(initial)
{
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { show(value.toDouble()); });
}

void AnimatedValue::animateTo(double target)
{
    if (target == target_) {
        return;
    }
    target_ = target;
    animation_.stop();
    if (Motion::reduced() || !owner_->isVisible()) {
        show(target);
        return;
    }
    animation_.setStartValue(value_);
    animation_.setEndValue(target);
    Motion::apply(animation_, curve_);
    animation_.start();
}

void AnimatedValue::show(double value)
{
    value_ = value;
    owner_->update();
}

HoverState::HoverState(QWidget* owner)
    : QObject(owner)
    , hover_(owner, curves::easeInOut(0.22), 0)
{
    owner->setAttribute(Qt::WA_Hover);
    owner->installEventFilter(this);
}

bool HoverState::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Enter:
        hover_.animateTo(1);
        break;
    case QEvent::Leave:
    case QEvent::Hide:
        hover_.animateTo(0);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pivra
