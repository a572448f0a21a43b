#include "platform/runtime/CancelToken.h"
#include "platform/runtime/Drain.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/threads/SerialExecutor.h"
#include "platform/runtime/Task.h"

#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace pivra {
namespace {

struct Nothing {};

using Executor = SerialExecutor<Nothing>;

std::unique_ptr<Nothing> makeNothing()
{
    return std::make_unique<Nothing>();
}

TEST(TaskHandleTest, DefaultHandleIsAFinishedTaskThatIsNeverCancelled)
{
    const TaskHandle none;
    none.cancel();
    EXPECT_FALSE(none.isValid());
    EXPECT_TRUE(none.isDone());
    EXPECT_FALSE(none.isCancelled());
    EXPECT_FALSE(none.token().isCancelled());
    EXPECT_FALSE(CancelToken().isCancelled());
}

TEST(TaskHandleTest, CancellationReachesEveryTokenAcrossThreads)
{
    const CancelSource source;
    const CancelToken token = source.token();
    EXPECT_FALSE(token.isCancelled());
    source.cancel();
    bool seenOnWorker = false;
    std::thread([token, &seenOnWorker] { seenOnWorker = token.isCancelled(); }).join();
    EXPECT_TRUE(seenOnWorker);
    EXPECT_TRUE(source.isCancelled());
}

Task<> finishAtOnce()
{
    co_return;
}

Task<> awaitFinished(TaskHandle finished, QObject* receiver, bool* postedFlag, bool* postedRanFirst,
                     bool* resumed)
{
    // Anything that went through the event loop would run after this post.
    // (The test's own object receives it, so it is dropped with the test.)
    QMetaObject::invokeMethod(
        receiver, [postedFlag] { *postedFlag = true; }, Qt::QueuedConnection);
    co_await finished;
    *postedRanFirst = *postedFlag;
    *resumed = true;
}

TEST(TaskHandleTest, AwaitingAnEndedTaskContinuesWithoutAnEventLoopTurn)
{
    QObject context;
    const TaskHandle finished = startTask(&context, finishAtOnce());
    ASSERT_TRUE(drain());
    ASSERT_TRUE(finished.isDone());

    bool posted = false;
    bool postedRanFirst = true;
    bool resumed = false;
    QObject receiver;
    startTask(&context, awaitFinished(finished, &receiver, &posted, &postedRanFirst, &resumed));
    ASSERT_TRUE(drain());
    EXPECT_TRUE(resumed);
    EXPECT_FALSE(postedRanFirst);
}

void waitAtGate(Nothing&, const std::shared_ptr<test::Gate>& gate)
{
    gate->wait();
}

Task<> waitForGatedJob(Executor* executor, std::shared_ptr<test::Gate> gate)
{
    co_await executor->call(waitAtGate, gate);
}

Task<> waitOn(TaskHandle awaited, QStringList* log, QString name, int* destroyed)
{
    const test::DestructionCounter local(destroyed);
    log->append(name + QStringLiteral(" waits"));
    co_await awaited;
    log->append(name + (awaited.isDone() ? QStringLiteral(" resumed after the end") : QStringLiteral(" resumed early")));
}

TEST(TaskHandleTest, SeveralWaitersResumeInOrderEachCheckedAgainstItsOwnContext)
{
    Executor executor(makeNothing);
    QObject context;
    auto waiterContext = std::make_unique<QObject>();
    const auto gate = test::Gate::make();
    QStringList log;
    int destroyed = 0;
    const TaskHandle awaited = startTask(&context, waitForGatedJob(&executor, gate));
    startTask(&context, waitOn(awaited, &log, QStringLiteral("A"), &destroyed));
    startTask(waiterContext.get(), waitOn(awaited, &log, QStringLiteral("B"), &destroyed));
    startTask(&context, waitOn(awaited, &log, QStringLiteral("C"), &destroyed));

    const bool registered = QTest::qWaitFor([&] { return log.size() == 3 && gate->wasReached(); });
    waiterContext.reset();
    gate->open();
    ASSERT_TRUE(registered);
    ASSERT_TRUE(drain());
    EXPECT_EQ(log, (QStringList{QStringLiteral("A waits"), QStringLiteral("B waits"), QStringLiteral("C waits"),
                                QStringLiteral("A resumed after the end"),
                                QStringLiteral("C resumed after the end")}));
    EXPECT_EQ(destroyed, 3); // B's frame was destroyed, not resumed
}

TEST(TaskHandleTest, HandlesCompareEqualOnlyForTheSameTask)
{
    QObject context;
    const TaskHandle first = startTask(&context, finishAtOnce());
    const TaskHandle second = startTask(&context, finishAtOnce());
    const TaskHandle copy = first;
    EXPECT_EQ(copy, first);
    EXPECT_NE(first, second);
    EXPECT_NE(first, TaskHandle());
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
