#include "style/motion/Motion.h"

#include <QVariantAnimation>

#include <cmath>
#include <numbers>

namespace pivra {

namespace {

// ln(1000): the envelope e^(-ζωt) falls below a thousandth.
const double settleLog = std::log(1000.0);

} // namespace

double springValue(double response, double damping, double seconds)
{
    const double omega = 2 * std::numbers::pi / response;
    const double decay = std::exp(-damping * omega * seconds);
    if (damping >= 1) {
        return 1 - decay * (1 + omega * seconds);
    }
    const double dampedOmega = omega * std::sqrt(1 - damping * damping);
    return 1 - decay * (std::cos(dampedOmega * seconds) + damping * omega / dampedOmega * std::sin(dampedOmega * seconds));
}

double springSettlingTime(double response, double damping)
{
    return settleLog / (damping * 2 * std::numbers::pi / response);
}

namespace curves {

MotionCurve bezier(double seconds, QPointF control1, QPointF control2)
{
    QEasingCurve easing(QEasingCurve::BezierSpline);
    easing.addCubicBezierSegment(control1, control2, QPointF(1, 1));
    return {easing, static_cast<int>(seconds * 1000 + 0.5)};
}

MotionCurve easeInOut(double seconds)
{
    return bezier(seconds, {0.42, 0}, {0.58, 1});
}

MotionCurve easeOut(double seconds)
{
    return bezier(seconds, {0, 0}, {0.58, 1});
}

} // namespace curves

Motion& Motion::shared()
{
    static Motion motion;
    return motion;
}

void Motion::setDesktopPreference(std::optional<bool> reduced)
{
    desktop_ = reduced;
    update();
}

void Motion::setOverride(std::optional<bool> reduced)
{
    override_ = reduced;
    update();
}

void Motion::apply(QVariantAnimation& animation, const MotionCurve& curve)
{
    animation.setEasingCurve(curve.easing);
    animation.setDuration(reduced() ? 0 : curve.milliseconds);
}

void Motion::update()
{
    const bool reduced = override_.value_or(desktop_.value_or(false));
    if (reduced != reduced_) {
        reduced_ = reduced;
        Q_EMIT reducedChanged(reduced);
    }
}

} // namespace pivra
