#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QPointF>

#include <optional>

class QVariantAnimation;

namespace pivra {

// A timing: how a change moves from its start to its end value, and for how
// long.
struct MotionCurve {
    QEasingCurve easing;
    int milliseconds = 0;
};

// A damped spring as the views describe it: `response` is the period in
// seconds of the undamped oscillation, `damping` the fraction of critical
// damping. Its position at `seconds` after release, going from 0 towards 1,
// and the time until it stays within a thousandth of 1.
double springValue(double response, double damping, double seconds);
double springSettlingTime(double response, double damping);

namespace curves {

MotionCurve bezier(double seconds, QPointF control1, QPointF control2);
MotionCurve easeInOut(double seconds);
MotionCurve easeOut(double seconds);

// A spring as an easing curve over its settling time. Qt's custom easing
// takes a plain function, so the parameters ride in the template:
// spring<250, 700>() is response 0.25 s and damping fraction 0.7.
template <int responseMilliseconds, int dampingPermille>
MotionCurve spring()
{
    constexpr double response = responseMilliseconds / 1000.0;
    constexpr double damping = dampingPermille / 1000.0;
    QEasingCurve easing;
    easing.setCustomType([](qreal progress) -> qreal {
        return progress >= 1 ? 1.0 : springValue(response, damping, progress * springSettlingTime(response, damping));
    });
    return {easing, static_cast<int>(springSettlingTime(response, damping) * 1000 + 0.5)};
}

} // namespace curves

// The one switch for reduced motion: the desktop's wish unless the program
// (or a test) overrides it. With it on, every change takes effect at once.
// GUI thread only.
class Motion final : public QObject {
    Q_OBJECT

public:
    static Motion& shared();

    static bool reduced() { return shared().reduced_; }

    void setDesktopPreference(std::optional<bool> reduced);
    void setOverride(std::optional<bool> reduced);

    // Gives `animation` the curve, and no duration while motion is reduced.
    static void apply(QVariantAnimation& animation, const MotionCurve& curve);

Q_SIGNALS:
    void reducedChanged(bool reduced);

private:
    Motion() = default;
    void update();

    std::optional<bool> desktop_;
    std::optional<bool> override_;
    bool reduced_ = false;
};

} // namespace pivra
