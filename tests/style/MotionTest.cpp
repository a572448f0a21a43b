// Springs, bezier curves and the reduced-motion switch.
#include "style/motion/Motion.h"

#include <QSignalSpy>
#include <cmath>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace pivra {
namespace {

TEST(MotionTest, SpringsStartAtRestOvershootAndSettle)
{
    struct Row {
        double response, damping, settleSeconds;
    };
    for (const Row row : {Row{0.32, 0.84, 0.42}, Row{0.38, 0.86, 0.49}, Row{0.25, 0.7, 0.39}}) {
        const double settle = springSettlingTime(row.response, row.damping);
        EXPECT_NEAR(settle, row.settleSeconds, 0.01);
        EXPECT_DOUBLE_EQ(springValue(row.response, row.damping, 0), 0);
        // The envelope is down to a thousandth; the swing within it is wider by 1/sqrt(1 - damping²).
        EXPECT_NEAR(springValue(row.response, row.damping, settle), 1,
                    0.001 / std::sqrt(1 - row.damping * row.damping));
        double peak = 0;
        for (double t = 0; t < settle; t += 0.005) {
            peak = std::max(peak, springValue(row.response, row.damping, t));
        }
        EXPECT_GT(peak, 1.0); // under-damped: it passes its target once
        EXPECT_LT(peak, 1.1);
    }
    const MotionCurve press = curves::spring<250, 700>();
    EXPECT_EQ(press.milliseconds, 393);
    EXPECT_DOUBLE_EQ(press.easing.valueForProgress(0), 0);
    EXPECT_DOUBLE_EQ(press.easing.valueForProgress(1), 1);
    EXPECT_NEAR(press.easing.valueForProgress(0.5), springValue(0.25, 0.7, 0.393 / 2), 0.01);
}

TEST(MotionTest, ReducedMotionEndsAnimationsAtOnce)
{
    Motion& motion = Motion::shared();
    QSignalSpy changes(&motion, &Motion::reducedChanged);
    motion.setDesktopPreference(true);
    motion.setOverride(false); // the program's choice wins over the desktop's
    EXPECT_FALSE(Motion::reduced());
    motion.setOverride(std::nullopt);
    EXPECT_TRUE(Motion::reduced());

    QVariantAnimation animation;
    animation.setStartValue(0.0);
    animation.setEndValue(10.0);
    Motion::apply(animation, curves::spring<300, 820>());
    EXPECT_EQ(animation.duration(), 0);
    animation.start();
    EXPECT_EQ(animation.currentValue().toDouble(), 10.0);

    motion.setDesktopPreference(std::nullopt);
    EXPECT_FALSE(Motion::reduced());
    Motion::apply(animation, curves::easeInOut(0.22));
    EXPECT_EQ(animation.duration(), 220);
    EXPECT_EQ(changes.size(), 4);
}

} // namespace
} // namespace pivra
