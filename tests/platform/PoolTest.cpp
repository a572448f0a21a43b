#include "platform/runtime/Drain.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/threads/SerialThread.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/Task.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <utility>

#include <sched.h>

#include <sys/resource.h>
#include <unistd.h>

namespace pivra {
namespace {

// What runOnPool and the executors refuse to hand to another thread: with
// QT_USE_QSTRINGBUILDER a concatenation is a builder that points at its parts.
static_assert(detail::borrows<decltype(QString() + QStringLiteral("/root"))>);
static_assert(detail::borrows<QStringView> && detail::borrows<std::string_view>);
static_assert(detail::borrows<std::reference_wrapper<const QString>>);
static_assert(!detail::borrows<QString> && !detail::borrows<const QString&> && !detail::borrows<QByteArray>);

struct PoolResults {
    int value = 0;
    QThread* jobThread = nullptr;
    QThread* resumedOn = nullptr;
    std::optional<int> caughtCode;
};

Task<> useThePool(PoolPriority priority, PoolResults* out)
{
    out->jobThread = co_await runOnPool(priority, [] { return QThread::currentThread(); });
    out->value = co_await runOnPool(priority, [] { return 6 * 7; });
    out->resumedOn = QThread::currentThread();
    try {
        co_await runOnPool(priority, [] { throw test::TestError{5}; });
    } catch (const test::TestError& error) {
        out->caughtCode = error.code;
    }
}

TEST(PoolTest, ResultsAndExceptionsComeBackOnTheGuiThreadAtBothPriorities)
{
    for (const PoolPriority priority : {PoolPriority::userInitiated, PoolPriority::utility}) {
        SCOPED_TRACE(priority == PoolPriority::utility ? "utility" : "userInitiated");
        QObject context;
        PoolResults results;
        startTask(&context, useThePool(priority, &results));

        ASSERT_TRUE(drain());
        EXPECT_EQ(results.value, 42);
        EXPECT_NE(results.jobThread, nullptr);
        EXPECT_NE(results.jobThread, QCoreApplication::instance()->thread());
        EXPECT_EQ(results.resumedOn, QCoreApplication::instance()->thread());
        EXPECT_EQ(results.caughtCode, 5);
    }
}

// How the calling thread is scheduled: its nice value and its policy.
std::pair<int, int> schedulingOfThisThread()
{
    return {getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), sched_getscheduler(0)};
}

Task<> measureScheduling(std::optional<std::pair<int, int>>* userInitiated, std::optional<std::pair<int, int>>* utility)
{
    *userInitiated = co_await runOnPool(PoolPriority::userInitiated, schedulingOfThisThread);
    *utility = co_await runOnPool(PoolPriority::utility, schedulingOfThisThread);
}

// Workers never preempt the GUI thread when they wake, and utility work
// also yields its share of the processor to the rest.
TEST(PoolTest, WorkersGiveWayToTheGuiThreadAndUtilityWorkToEveryone)
{
    EXPECT_EQ(threadPool(PoolPriority::utility)->threadPriority(), QThread::LowPriority);
    EXPECT_NE(threadPool(PoolPriority::utility), threadPool(PoolPriority::userInitiated));

    QObject context;
    std::optional<std::pair<int, int>> userInitiated;
    std::optional<std::pair<int, int>> utility;
    startTask(&context, measureScheduling(&userInitiated, &utility));
    ASSERT_TRUE(drain());
    ASSERT_TRUE(userInitiated && utility);
    const auto [guiNice, guiPolicy] = schedulingOfThisThread();
    EXPECT_EQ(guiPolicy, SCHED_OTHER);
    EXPECT_EQ(userInitiated->first, guiNice);
    EXPECT_GT(utility->first, guiNice);
    EXPECT_EQ(userInitiated->second, SCHED_BATCH);
    EXPECT_EQ(utility->second, SCHED_BATCH);

    std::promise<std::pair<int, int>> serial;
    {
        detail::SerialThread thread([] {}, [] {});
        thread.enqueue([&serial] { serial.set_value(schedulingOfThisThread()); });
    }
    EXPECT_EQ(serial.get_future().get().second, SCHED_BATCH);
}

} // namespace
} // namespace pivra
