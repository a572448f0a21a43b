#include "viewer/video/playback/SeekPacer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace pivra {
namespace {

// What reaches the player during a drag: the first target at once, then only
// the newest target asked while a seek was under way, once that seek's
// picture (or the player's word that it shows none) has come.
TEST(SeekPacerTest, TheNewestTargetWaitsForThePictureOfTheSeekUnderWay)
{
    std::vector<qint64> sent;
    SeekPacer pacer([&sent](qint64 milliseconds) { sent.push_back(milliseconds); });
    const struct {
        const char* what;
        std::function<void()> event;
        std::vector<qint64> sent;
        bool busy;
    } steps[] = {
        {"the first target goes at once", [&] { pacer.ask(1000); }, {1000}, true},
        {"two more wait as one", [&] {
             pacer.ask(1500);
             pacer.ask(2000);
         }, {1000}, true},
        {"the player taking the seek up is not its picture", [&] { pacer.handled(1000, true); }, {1000}, true},
        {"a picture far from the target is not its picture", [&] { pacer.pictureArrived(9'000'000); }, {1000}, true},
        {"its picture sends the newest", [&] { pacer.pictureArrived(966'667); }, {1000, 2000}, true},
        {"a seek to where the player is shows nothing new", [&] { pacer.handled(2000, false); }, {1000, 2000}, false},
        {"idle, a target goes at once", [&] { pacer.ask(3000); }, {1000, 2000, 3000}, true},
        {"playing sends the waiting target without waiting", [&] {
             pacer.ask(4000);
             pacer.flush();
         },
         {1000, 2000, 3000, 4000}, true},
        {"another video forgets them all", [&] {
             pacer.ask(5000);
             pacer.reset();
         }, {1000, 2000, 3000, 4000}, false},
    };
    for (const auto& step : steps) {
        step.event();
        EXPECT_EQ(sent, step.sent) << step.what;
        EXPECT_EQ(pacer.busy(), step.busy) << step.what;
    }
}

} // namespace
} // namespace pivra
