#include "platform/runtime/Drain.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/Task.h"

#include <QObject>
#include <QString>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace pivra {
namespace {

Task<int> square(int x)
{
    co_return x * x;
}

Task<int> sumOfSquares(int n)
{
    int total = 0;
    for (int i = 1; i <= n; ++i) {
        total += co_await square(i);
    }
    co_return total;
}

Task<int> failWith(int code)
{
    throw test::TestError{code};
    co_return 0;
}

Task<int> addOneTo(Task<int> inner)
{
    co_return co_await std::move(inner) + 1;
}

Task<std::unique_ptr<QString>> makeText()
{
    co_return std::make_unique<QString>(QStringLiteral("moved out"));
}

struct NestedResults {
    int sum = 0;
    int awaitedAsLvalue = 0;
    std::optional<int> caughtDirectly;
    std::optional<int> caughtThroughTwoFrames;
    QString text;
};

Task<> runNested(NestedResults* out)
{
    out->sum = co_await sumOfSquares(3);
    Task<int> lvalue = square(5);
    out->awaitedAsLvalue = co_await lvalue;
    try {
        co_await failWith(7);
    } catch (const test::TestError& error) {
        out->caughtDirectly = error.code;
    }
    try {
        co_await addOneTo(addOneTo(failWith(9)));
    } catch (const test::TestError& error) {
        out->caughtThroughTwoFrames = error.code;
    }
    out->text = *co_await makeText();
}

TEST(TaskTest, NestedValuesAndExceptionsReachTheAwaiter)
{
    QObject context;
    NestedResults results;
    startTask(&context, runNested(&results));

    ASSERT_TRUE(drain());
    EXPECT_EQ(results.sum, 14);
    EXPECT_EQ(results.awaitedAsLvalue, 25);
    EXPECT_EQ(results.caughtDirectly, 7);
    EXPECT_EQ(results.caughtThroughTwoFrames, 9);
    EXPECT_EQ(results.text, QStringLiteral("moved out"));
}

Task<int> one()
{
    co_return 1;
}

Task<> countSynchronousAwaits(int times, int* total)
{
    for (int i = 0; i < times; ++i) {
        *total += co_await one();
    }
}

// Each await of a finished child hands control back by symmetric transfer; a
// runtime that resumed by nested calls instead would run out of stack here.
TEST(TaskTest, ManySynchronousAwaitsInALoopDoNotGrowTheStack)
{
    QObject context;
    int total = 0;
    startTask(&context, countSynchronousAwaits(1'000'000, &total));

    ASSERT_TRUE(drain());
    EXPECT_EQ(total, 1'000'000);
}

Task<> bodyWithLocal(bool* ran, int* destroyed, [[maybe_unused]] std::shared_ptr<int> heldByFrame)
{
    const test::DestructionCounter local(destroyed);
    *ran = true;
    co_return;
}

TEST(TaskTest, TaskRunsNothingUntilAwaitedAndDestroyingItFreesTheFrame)
{
    bool ran = false;
    int destroyed = 0;
    auto sentinel = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = sentinel;
    {
        const Task<> never = bodyWithLocal(&ran, &destroyed, std::move(sentinel));
        EXPECT_FALSE(watch.expired());
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(destroyed, 0); // the body never started, so its local never existed
    EXPECT_TRUE(watch.expired());
}

} // namespace
} // namespace pivra
