#include "platform/runtime/Drain.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/SerialExecutor.h"
#include "platform/runtime/Task.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace pivra {
namespace {

struct Counter {
    int value = 0;
};

using Executor = SerialExecutor<Counter>;

std::unique_ptr<Counter> makeCounter()
{
    return std::make_unique<Counter>();
}

// The gate opens from the GUI thread's first turn inside drain(), so the
// jobs are still under way when it begins.
std::shared_ptr<test::Gate> gateOpenedByDrain()
{
    const auto gate = test::Gate::make();
    QTimer::singleShot(0, [gate] { gate->open(); });
    return gate;
}

TEST(DrainTest, WaitsForAFireAndForgetJobWithoutSleepingToTheTimeout)
{
    Executor executor(makeCounter);
    const auto ran = std::make_shared<std::atomic<bool>>(false);
    executor.post([ran, gate = gateOpenedByDrain()](Counter&) {
        gate->wait();
        ran->store(true);
    });

    // A deadline far beyond anything a busy machine adds, so that only a
    // drain sleeping to it could reach the bound.
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(drain(60000));
    EXPECT_TRUE(ran->load());
    EXPECT_LT(elapsed.elapsed(), 30000); // woken by the job's end, not by the deadline
}

Task<> poolThenExecutorThenTurn(Executor* executor, bool* finished)
{
    const int fromPool = co_await runOnPool(
        PoolPriority::utility,
        [](const std::shared_ptr<test::Gate>& gate) {
            gate->wait();
            return 2;
        },
        gateOpenedByDrain());
    co_await executor->call([](Counter& counter, int amount) { counter.value += amount; }, fromPool);
    co_await nextMainTurn();
    *finished = true;
}

TEST(DrainTest, WaitsForTasksHoppingBetweenPoolExecutorAndGuiThread)
{
    Executor executor(makeCounter);
    QObject context;
    bool finished = false;
    const TaskHandle handle = startTask(&context, poolThenExecutorThenTurn(&executor, &finished));

    ASSERT_TRUE(drain());
    EXPECT_TRUE(finished);
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(executor.callBlocking([](Counter& counter) { return counter.value; }), 2);
}

TEST(DrainTest, ReportsATimeoutWhileWorkIsStuck)
{
    Executor executor(makeCounter);
    const auto gate = test::Gate::make();
    executor.post([gate](Counter&) { gate->wait(); });

    const bool drainedWhileStuck = drain(100);
    gate->open();
    EXPECT_FALSE(drainedWhileStuck);
    EXPECT_TRUE(drain());
}

// An answer posted back by a counted job counts as work until it comes up:
// drain() returns only after it has reached a living receiver, a receiver
// destroyed meanwhile gets nothing, and an answer that drains in turn does
// not wait for itself.
TEST(DrainTest, WaitsForAnswersPostedBackAndSkipsReceiversThatWentMeanwhile)
{
    auto kept = std::make_unique<QObject>();
    auto dropped = std::make_unique<QObject>();
    int answered = 0;
    bool dropAnswered = false;
    bool nestedDrained = false;
    const auto gate = test::Gate::make();
    detail::workQueued();
    detail::startOnPool(PoolPriority::utility, [gate, toKept = GuiReturn(kept.get()), toDropped = GuiReturn(dropped.get()),
                                                &answered, &dropAnswered, &nestedDrained] {
        gate->wait();
        toDropped.post([&dropAnswered] { dropAnswered = true; });
        toKept.post([&answered, &nestedDrained] {
            ++answered;
            nestedDrained = drain(60000);
        });
        detail::workDelivered();
    });
    dropped.reset();
    gate->open();
    ASSERT_TRUE(drain(60000));
    EXPECT_EQ(answered, 1);
    EXPECT_TRUE(nestedDrained);
    EXPECT_FALSE(dropAnswered);
}

} // namespace
} // namespace pivra
