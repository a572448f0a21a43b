#include "platform/runtime/Drain.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/Task.h"

#include <QObject>
#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace pivra {
namespace {

Task<> askOnPool(std::optional<bool>* onPool)
{
    *onPool = co_await runOnPool(PoolPriority::userInitiated, isMainThread);
}

TEST(MainThreadTest, OnlyTheApplicationsThreadIsTheMainThread)
{
    EXPECT_TRUE(isMainThread());
    bool onStdThread = true;
    std::thread([&onStdThread] { onStdThread = isMainThread(); }).join();
    EXPECT_FALSE(onStdThread);

    QObject context;
    std::optional<bool> onPool;
    startTask(&context, askOnPool(&onPool));
    ASSERT_TRUE(drain());
    EXPECT_EQ(onPool, false);
}

TEST(MainThreadTest, AssertingOffTheMainThreadStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    assertMainThread(); // fine here
    EXPECT_DEATH(std::thread([] { assertMainThread(); }).join(), "called off the GUI thread");
}

} // namespace
} // namespace pivra
