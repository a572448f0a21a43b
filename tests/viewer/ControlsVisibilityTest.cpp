#include "viewer/controls/ControlsVisibility.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace pivra {
namespace {

// A countdown that ends when the test says so.
class HandDelay final : public ControlsVisibility::Delay {
public:
    void start(std::chrono::milliseconds wait, std::function<void()> elapsed) override
    {
        lastWait = wait;
        pending = std::move(elapsed);
        ++starts;
    }
    void cancel() override { pending = nullptr; }

    void elapse()
    {
        auto fire = std::exchange(pending, nullptr);
        ASSERT_TRUE(fire);
        fire();
    }

    std::function<void()> pending;
    std::chrono::milliseconds lastWait{0};
    int starts = 0;
};

class ControlsVisibilityTest : public testing::Test {
protected:
    HandDelay* delay = new HandDelay;
    ControlsVisibility visibility{std::unique_ptr<ControlsVisibility::Delay>(delay)};
};

TEST_F(ControlsVisibilityTest, ControlsHideAfterTheLastActivityUnlessAControlIsHovered)
{
    QSignalSpy changes(&visibility, &ControlsVisibility::controlsVisibleChanged);
    EXPECT_TRUE(visibility.controlsVisible());
    visibility.reveal();
    visibility.reveal(); // the newer countdown replaces the older
    EXPECT_EQ(delay->lastWait, std::chrono::milliseconds(2500));
    delay->elapse();
    EXPECT_FALSE(visibility.controlsVisible());

    // Resting on a control past the countdown keeps them and starts nothing.
    visibility.setHovered(true);
    EXPECT_TRUE(visibility.controlsVisible());
    const int starts = delay->starts;
    delay->elapse();
    EXPECT_TRUE(visibility.controlsVisible());
    EXPECT_EQ(delay->starts, starts);
    // Leaving the control starts a fresh countdown.
    visibility.setHovered(false);
    EXPECT_EQ(delay->starts, starts + 1);
    delay->elapse();
    EXPECT_FALSE(visibility.controlsVisible());
    EXPECT_EQ(changes.count(), 3); // hidden, shown, hidden: each change once

    visibility.reveal();
    visibility.cancel();
    EXPECT_FALSE(delay->pending);
    EXPECT_TRUE(visibility.controlsVisible());
}

TEST(ControlsShownTest, ThePanelAndAPausedItemThatPlaysKeepTheControls)
{
    struct Row {
        bool visible, info, playable, playing, shown;
    };
    for (const Row& row : {Row{true, false, false, false, true}, Row{false, true, false, false, true},
                           Row{false, false, true, false, true}, Row{false, false, true, true, false},
                           Row{false, false, false, false, false}}) {
        EXPECT_EQ(ControlsVisibility::shown(row.visible, row.info, row.playable, row.playing), row.shown)
            << row.visible << row.info << row.playable << row.playing;
    }
}

} // namespace
} // namespace pivra
