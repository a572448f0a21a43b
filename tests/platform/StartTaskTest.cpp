#include "platform/runtime/Drain.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/Task.h"

#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace pivra {
namespace {

Task<> appendName(QStringList* log, QString name)
{
    log->append(name);
    co_return;
}

Task<> appendAroundTurn(QStringList* log, QString name)
{
    log->append(name + QStringLiteral(" begins"));
    co_await nextMainTurn();
    log->append(name + QStringLiteral(" continues"));
}

TEST(StartTaskTest, FirstStepIsPostedInStartOrderBehindEarlierPosts)
{
    QObject context;
    QStringList log;
    startTask(&context, appendName(&log, QStringLiteral("first")));
    QMetaObject::invokeMethod(
        &context, [&log] { log.append(QStringLiteral("posted")); }, Qt::QueuedConnection);
    startTask(&context, appendName(&log, QStringLiteral("second")));
    startTask(&context, appendName(&log, QStringLiteral("third")));
    log.append(QStringLiteral("caller"));

    EXPECT_EQ(log, QStringList{QStringLiteral("caller")});
    ASSERT_TRUE(drain());
    EXPECT_EQ(log, (QStringList{QStringLiteral("caller"), QStringLiteral("first"), QStringLiteral("posted"),
                                QStringLiteral("second"), QStringLiteral("third")}));
}

TEST(StartTaskTest, NextMainTurnQueuesTheContinuationBehindWaitingWork)
{
    QObject context;
    QStringList log;
    startTask(&context, appendAroundTurn(&log, QStringLiteral("A")));
    startTask(&context, appendName(&log, QStringLiteral("B")));

    ASSERT_TRUE(drain());
    EXPECT_EQ(log, (QStringList{QStringLiteral("A begins"), QStringLiteral("B"), QStringLiteral("A continues")}));
}

Task<> keepAlive(bool* ran, [[maybe_unused]] std::shared_ptr<int> heldByFrame)
{
    *ran = true;
    co_return;
}

TEST(StartTaskTest, TaskWhoseContextDiesBeforeItsFirstStepNeverRunsAndIsFreed)
{
    auto context = std::make_unique<QObject>();
    bool ran = false;
    auto sentinel = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = sentinel;
    const TaskHandle handle = startTask(context.get(), keepAlive(&ran, std::move(sentinel)));
    context.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_FALSE(handle.isDone());

    ASSERT_TRUE(drain());
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(handle.isDone());
}

TEST(StartTaskTest, NullContextMeansTheApplication)
{
    QStringList log;
    startTask(nullptr, appendName(&log, QStringLiteral("ran")));
    ASSERT_TRUE(drain());
    EXPECT_EQ(log, QStringList{QStringLiteral("ran")});
}

Task<> throwAfterATurn()
{
    co_await nextMainTurn();
    throw std::runtime_error("the disk went away");
}

TEST(StartTaskTest, ExceptionEscapingATaskIsLoggedAndEndsIt)
{
    const test::WarningLog warnings;
    QObject context;
    const TaskHandle handle = startTask(&context, throwAfterATurn());

    ASSERT_TRUE(drain());
    EXPECT_TRUE(handle.isDone());
    ASSERT_EQ(warnings.messages().size(), 1);
    EXPECT_TRUE(warnings.messages().front().contains(QStringLiteral("the disk went away")));
}

Task<TaskHandle> handleSeenByChild()
{
    co_return co_await currentTask();
}

Task<> recordCurrentTask(TaskHandle* seenByRoot, TaskHandle* seenByChild, bool* sawCancel)
{
    *seenByRoot = co_await currentTask();
    *seenByChild = co_await handleSeenByChild();
    *sawCancel = (co_await currentTask()).isCancelled();
}

TEST(StartTaskTest, CurrentTaskIsTheRootHandleInEveryNestedFrame)
{
    QObject context;
    TaskHandle seenByRoot;
    TaskHandle seenByChild;
    bool sawCancel = false;
    const TaskHandle started = startTask(&context, recordCurrentTask(&seenByRoot, &seenByChild, &sawCancel));
    started.cancel(); // before the body's first step, which is posted

    ASSERT_TRUE(drain());
    EXPECT_EQ(seenByRoot, started);
    EXPECT_EQ(seenByChild, started);
    EXPECT_TRUE(sawCancel);
}

} // namespace
} // namespace pivra
