#include "platform/cameras/DeviceWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace pivra {
namespace {

using Priority = DeviceWorker::Priority;

// Jobs queued while the worker is busy run most urgent first: a video being
// played, then a copy, then thumbnails, then the listing, each in its order.
TEST(DeviceWorkerTest, WaitingJobsRunMostUrgentFirstAndAClosedWorkerTakesNoMore)
{
    std::mutex mutex;
    std::vector<std::string> ran;
    std::vector<std::string> abandoned;
    const auto job = [&](std::string name) {
        return DeviceWorker::Job{[&, name] {
                                     const std::lock_guard lock(mutex);
                                     ran.push_back(name);
                                 },
                                 [&, name] {
                                     const std::lock_guard lock(mutex);
                                     abandoned.push_back(name);
                                 }};
    };

    std::promise<void> tornDown;
    DeviceWorker worker([&] { tornDown.set_value(); });
    std::latch busy(1);
    std::latch release(1);
    DeviceWorker::Job blocker{[&] {
                                  busy.count_down();
                                  release.wait();
                              },
                              [] {}};
    ASSERT_TRUE(worker.enqueue(Priority::listing, blocker));
    busy.wait();
    const std::vector<std::pair<Priority, std::string>> queued = {
        {Priority::listing, "listing 1"}, {Priority::preview, "preview"}, {Priority::copy, "copy 1"},
        {Priority::stream, "stream 1"},   {Priority::copy, "copy 2"},     {Priority::stream, "stream 2"},
        {Priority::listing, "listing 2"},
    };
    for (const auto& [priority, name] : queued) {
        DeviceWorker::Job next = job(name);
        ASSERT_TRUE(worker.enqueue(priority, next));
    }
    std::promise<void> drained;
    DeviceWorker::Job last{[&] { drained.set_value(); }, [] {}};
    ASSERT_TRUE(worker.enqueue(Priority::listing, last));
    release.count_down();
    drained.get_future().wait();
    EXPECT_EQ(ran, (std::vector<std::string>{"stream 1", "stream 2", "copy 1", "copy 2", "preview", "listing 1",
                                             "listing 2"}));

    worker.close();
    DeviceWorker::Job refused = job("after close");
    EXPECT_FALSE(worker.enqueue(Priority::stream, refused)) << "the caller abandons it";
    tornDown.get_future().wait();
    EXPECT_TRUE(abandoned.empty());
}

// Previews queued first wait newest first, ahead of those queued in turn and
// behind nothing running; one unwanted when its turn comes is abandoned
// unrun, however wanted it was when queued.
TEST(DeviceWorkerTest, PreviewsQueuedFirstRunNewestFirstAndWithdrawnOnesNeverRun)
{
    std::mutex mutex;
    std::vector<std::string> ended;
    const auto note = [&](std::string what) {
        const std::lock_guard lock(mutex);
        ended.push_back(std::move(what));
    };
    std::atomic<bool> cellWanted = true;
    const auto job = [&](std::string name, std::function<bool()> wanted = {}) {
        return DeviceWorker::Job{[&, name] { note("ran " + name); }, [&, name] { note("abandoned " + name); },
                                 std::move(wanted)};
    };

    DeviceWorker worker([] {});
    std::latch busy(1);
    std::latch release(1);
    DeviceWorker::Job blocker{[&] {
                                  busy.count_down();
                                  release.wait();
                              },
                              [] {}};
    ASSERT_TRUE(worker.enqueue(Priority::preview, blocker, DeviceWorker::Place::first));
    busy.wait();
    using Place = DeviceWorker::Place;
    // The cells of one batch are served in the order asked, also when they
    // arrive out of it; a newer batch goes ahead of the older ones.
    const std::vector<std::tuple<std::string, Priority, Place, std::uint64_t, std::uint64_t, std::function<bool()>>>
        queued{
            {"background 1", Priority::preview, Place::inTurn, 0, 0, {}},
            {"cell 1", Priority::preview, Place::first, 1, 1, {}},
            {"scrolled away", Priority::preview, Place::first, 1, 2, [&] { return cellWanted.load(); }},
            {"background 2", Priority::preview, Place::inTurn, 0, 0, {}},
            {"listing", Priority::listing, Place::first, 0, 0, {}},
            {"cell 3", Priority::preview, Place::first, 2, 5, {}},
            {"cell 2", Priority::preview, Place::first, 2, 3, {}},
            {"cell 4", Priority::preview, Place::first, 2, 6, {}},
            {"copy", Priority::copy, Place::inTurn, 0, 0, {}},
        };
    for (const auto& [name, priority, place, batch, order, wanted] : queued) {
        DeviceWorker::Job next = job(name, wanted);
        ASSERT_TRUE(worker.enqueue(priority, next, place, batch, order));
    }
    cellWanted = false; // after it was queued: asked when its turn comes
    std::promise<void> drained;
    DeviceWorker::Job last{[&] { drained.set_value(); }, [] {}};
    ASSERT_TRUE(worker.enqueue(Priority::listing, last));
    release.count_down();
    drained.get_future().wait();
    EXPECT_EQ(ended, (std::vector<std::string>{"ran copy", "ran cell 2", "ran cell 3", "ran cell 4", "ran cell 1",
                                               "abandoned scrolled away", "ran background 1", "ran background 2",
                                               "ran listing"}));
}

} // namespace
} // namespace pivra
