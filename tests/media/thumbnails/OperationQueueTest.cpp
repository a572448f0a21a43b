#include "media/thumbnails/OperationQueue.h"
#include "media/thumbnails/OperationQueueScrollPause.h"

#include "ThumbnailTestKit.h"
#include "support/system/PoolThreads.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pivra {
namespace {

using test::ReopenableGate;

// Records the highest number of operations seen running at once.
struct Concurrency {
    std::atomic<int> now{0};
    std::atomic<int> peak{0};

    void enter()
    {
        const int running = ++now;
        int seen = peak.load();
        while (running > seen && !peak.compare_exchange_weak(seen, running)) {
        }
    }
    void leave() { --now; }
};

TEST(OperationQueueTest, RunsNoMoreThanItsWidthAtOnce)
{
    const test::PoolThreadsAtLeast threads(PoolPriority::utility, 4);
    OperationQueue queue(QStringLiteral("test"), 3, PoolPriority::utility);
    ReopenableGate gate(false);
    Concurrency concurrency;
    std::atomic<int> done{0};
    for (int i = 0; i < 10; ++i) {
        queue.add([&] {
            concurrency.enter();
            gate.pass();
            concurrency.leave();
            ++done;
        });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return concurrency.now == 3; }, 5000));
    EXPECT_EQ(queue.runningCount(), 3);
    EXPECT_EQ(queue.waitingCount(), 7);
    gate.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 10; }, 5000));
    EXPECT_EQ(concurrency.peak, 3);
}

TEST(OperationQueueTest, SuspensionHoldsNewWorkAndLetsRunningWorkFinish)
{
    OperationQueue queue(QStringLiteral("test"), 2, PoolPriority::utility);
    ReopenableGate gate(false);
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    auto work = [&] {
        ++started;
        gate.pass();
        ++finished;
    };
    queue.add(work);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started == 1; }, 5000));

    queue.setSuspended(true);
    EXPECT_TRUE(queue.isSuspended());
    queue.add(work);
    queue.add(work);
    gate.open();
    // Its thread gives up its slot rather than take the next.
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 1 && queue.runningCount() == 0; }, 5000))
        << "the running operation finishes";
    EXPECT_EQ(started, 1) << "nothing new starts while suspended";
    EXPECT_EQ(queue.waitingCount(), 2);

    queue.setSuspended(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 3; }, 5000));
}

TEST(OperationQueueTest, CancelledOperationsNeverRun)
{
    OperationQueue queue(QStringLiteral("test"), 1, PoolPriority::userInitiated);
    queue.setSuspended(true);
    std::atomic<int> ran{0};
    const auto cancelled = queue.add([&] { ran += 100; });
    queue.add([&] { ran += 1; });
    cancelled->cancel();
    queue.setSuspended(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue.waitingCount() == 0 && queue.runningCount() == 0; }, 5000));
    EXPECT_EQ(ran, 1);
}

TEST(OperationQueueTest, UrgentWorkOvertakesTheBacklog)
{
    OperationQueue queue(QStringLiteral("test"), 1, PoolPriority::utility);
    queue.setSuspended(true);
    std::mutex mutex;
    std::vector<int> order;
    auto record = [&](int value) {
        return [&, value] {
            std::lock_guard lock(mutex);
            order.push_back(value);
        };
    };
    for (int i = 1; i <= 5; ++i) {
        queue.add(record(i));
    }
    queue.add(record(100), OperationUrgency::urgent);
    queue.add(record(6));
    queue.setSuspended(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue.waitingCount() == 0 && queue.runningCount() == 0; }, 5000));
    EXPECT_EQ(order, (std::vector<int>{100, 1, 2, 3, 4, 5, 6}));
}

TEST(OperationQueueTest, AnOperationThatThrowsLeavesTheQueueWorking)
{
    OperationQueue queue(QStringLiteral("test"), 1, PoolPriority::utility);
    std::atomic<int> ran{0};
    queue.add([] { throw std::runtime_error("the decoder gave up"); });
    queue.add([] { throw 42; });
    queue.add([&] { ++ran; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran == 1 && queue.runningCount() == 0; }, 5000));
    EXPECT_EQ(queue.waitingCount(), 0);
}

TEST(OperationQueueTest, DestroyingDropsWaitingWorkAndWaitsForRunningWork)
{
    ReopenableGate gate(false);
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::thread opener;
    {
        OperationQueue queue(QStringLiteral("test"), 1, PoolPriority::utility);
        for (int i = 0; i < 3; ++i) {
            queue.add([&] {
                ++started;
                gate.pass();
                ++finished;
            });
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return started == 1; }, 5000));
        // Opened once the queue's end has dropped the waiting work, while it
        // waits for the running one.
        opener = std::thread([&] {
            while (queue.waitingCount() > 0) {
                std::this_thread::yield();
            }
            gate.open();
        });
    }
    opener.join();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(started, 1);
}

// A clock the test moves by hand, keeping scheduled calls until it runs them.
struct ManualClock {
    double now = 0;
    std::vector<std::pair<double, std::function<void()>>> scheduled;

    PauseClock clock()
    {
        return {[this] { return now; },
                [this](double delay, std::function<void()> call) { scheduled.emplace_back(now + delay, std::move(call)); }};
    }

    // Moves to the time of the earliest scheduled call and runs it.
    void runNext()
    {
        ASSERT_FALSE(scheduled.empty());
        auto [at, call] = std::move(scheduled.front());
        scheduled.erase(scheduled.begin());
        now = at;
        call();
    }
};

TEST(ScrollPauseTest, AScrollPausesAndQuietResumes)
{
    OperationQueue queue(QStringLiteral("preparation"), 3, PoolPriority::utility);
    ManualClock time;
    ScrollPause pause(queue, time.clock());

    time.now = 10;
    pause.noteScroll();
    EXPECT_TRUE(queue.isSuspended());
    EXPECT_EQ(pause.lastScrollActivity(), 10);
    ASSERT_EQ(time.scheduled.size(), 1u);
    EXPECT_DOUBLE_EQ(time.scheduled.front().first, 10.35);

    time.runNext();
    EXPECT_FALSE(queue.isSuspended());
    EXPECT_FALSE(pause.hasResumePending());
    EXPECT_TRUE(time.scheduled.empty());
}

TEST(ScrollPauseTest, ALaterScrollPushesTheResumeBackWithOneCheckPending)
{
    OperationQueue queue(QStringLiteral("preparation"), 3, PoolPriority::utility);
    ManualClock time;
    ScrollPause pause(queue, time.clock());

    pause.noteScroll();
    time.now = 0.2;
    pause.noteScroll();
    pause.noteScroll();
    EXPECT_EQ(time.scheduled.size(), 1u) << "scrolling while paused adds no second check";

    time.runNext(); // at 0.35: only 0.15 s of quiet
    EXPECT_TRUE(queue.isSuspended());
    ASSERT_EQ(time.scheduled.size(), 1u);
    EXPECT_DOUBLE_EQ(time.scheduled.front().first, 0.7);

    time.runNext(); // at 0.7: 0.5 s of quiet
    EXPECT_FALSE(queue.isSuspended());
}

TEST(ScrollPauseTest, WorkWaitsWhileScrollingAndRunsAfterwards)
{
    OperationQueue queue(QStringLiteral("preparation"), 3, PoolPriority::utility);
    ScrollPause pause(queue); // the real clock and timer
    pause.noteScroll();
    std::atomic<bool> ran{false};
    queue.add([&] { ran = true; });
    EXPECT_EQ(queue.waitingCount(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.load(); }, 2000));
    EXPECT_FALSE(queue.isSuspended());
}

TEST(ScrollPauseTest, ACheckAfterThePauseIsGoneDoesNothing)
{
    OperationQueue queue(QStringLiteral("preparation"), 3, PoolPriority::utility);
    ManualClock time;
    {
        ScrollPause pause(queue, time.clock());
        pause.noteScroll();
    }
    time.runNext();
    EXPECT_TRUE(queue.isSuspended());
}

} // namespace
} // namespace pivra
