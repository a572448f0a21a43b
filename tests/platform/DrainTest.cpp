#include "platform/runtime/Drain.h"
#include "platform/runtime/Pool.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/SerialExecutor.h"
#include "platform/runtime/Task.h"

#include <QElapsedTimer>
#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

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

TEST(DrainTest, WaitsForAFireAndForgetJobWithoutSleepingToTheTimeout)
{
    Executor executor(makeCounter);
    const auto ran = std::make_shared<std::atomic<bool>>(false);
    executor.post([ran](Counter&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ran->store(true);
    });

    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(drain(5000));
    EXPECT_TRUE(ran->load());
    EXPECT_LT(elapsed.elapsed(), 2000); // woken by the job's end, not by the deadline
}

Task<> poolThenExecutorThenTurn(Executor* executor, bool* finished)
{
    const int fromPool = co_await runOnPool(PoolPriority::utility, [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return 2;
    });
    co_await executor->call(
        [](Counter& counter, int amount) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            counter.value += amount;
        },
        fromPool);
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

} // namespace
} // namespace pivra
