#include "platform/runtime/Drain.h"
#include "platform/runtime/Pool.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/Task.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

#include <optional>

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

int niceOfThisThread()
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

Task<> measureNice(std::optional<int>* userInitiated, std::optional<int>* utility)
{
    *userInitiated = co_await runOnPool(PoolPriority::userInitiated, niceOfThisThread);
    *utility = co_await runOnPool(PoolPriority::utility, niceOfThisThread);
}

TEST(PoolTest, UtilityWorkRunsAtALowerPriority)
{
    EXPECT_EQ(threadPool(PoolPriority::utility)->threadPriority(), QThread::LowPriority);
    EXPECT_NE(threadPool(PoolPriority::utility), threadPool(PoolPriority::userInitiated));

    QObject context;
    std::optional<int> userInitiated;
    std::optional<int> utility;
    startTask(&context, measureNice(&userInitiated, &utility));
    ASSERT_TRUE(drain());
    ASSERT_TRUE(userInitiated && utility);
    EXPECT_EQ(*userInitiated, niceOfThisThread());
    EXPECT_GT(*utility, *userInitiated);
}

} // namespace
} // namespace pivra
