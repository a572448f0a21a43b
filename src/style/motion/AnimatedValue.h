#pragma once

#include "style/motion/Motion.h"

#include <QObject>
#include <QVariantAnimation>

class QWidget;

namespace pivra {

// A number a widget paints with (a hover tint, a scale, a knob position) that
// moves to each new target along `curve`, repainting the widget as it goes.
// It jumps there at once while motion is reduced, and while the widget is not
// shown, so a control set up before it appears starts in its state.
class AnimatedValue final : public QObject {
public:
    AnimatedValue(QWidget* owner, MotionCurve curve, double initial);

    double value() const { return value_; }
    double target() const { return target_; }
    void animateTo(double target);

private:
    void show(double value);

    QWidget* owner_;
    MotionCurve curve_;
    QVariantAnimation animation_;
    double value_;
    double target_;
};

// Whether the pointer is over `owner`, as an animated 0 to 1 that follows
// it in and out over 0.22 s.
class HoverState final : public QObject {
public:
    explicit HoverState(QWidget* owner);

    bool hovering() const { return hover_.target() == 1; }
    double progress() const { return hover_.value(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AnimatedValue hover_;
};

} // namespace pivra
