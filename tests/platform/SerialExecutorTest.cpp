#include "platform/runtime/Drain.h"
#include "platform/RuntimeTestKit.h"
#include "platform/runtime/threads/SerialExecutor.h"
#include "platform/runtime/Task.h"

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pivra {
namespace {

// Where a ledger was made and destroyed, and what it held at the end.
struct LedgerTrace {
    std::thread::id madeOn;
    std::thread::id destroyedOn;
    std::vector<int> finalEntries;
};

// A resource that is not thread-safe, like a database connection.
class Ledger {
public:
    explicit Ledger(LedgerTrace* trace) : trace_(trace) { trace_->madeOn = std::this_thread::get_id(); }
    ~Ledger()
    {
        trace_->destroyedOn = std::this_thread::get_id();
        trace_->finalEntries = entries;
    }
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    std::size_t append(int value)
    {
        entries.push_back(value);
        return entries.size();
    }

    std::vector<int> entries;

private:
    LedgerTrace* trace_;
};

using Executor = SerialExecutor<Ledger>;

class SerialExecutorTest : public ::testing::Test {
protected:
    LedgerTrace trace;
    Executor::Factory factory = [this] { return std::make_unique<Ledger>(&trace); };
};

TEST_F(SerialExecutorTest, ResourceIsMadeUsedAndDestroyedOnTheExecutorThread)
{
    std::thread::id usedOn;
    {
        Executor executor(factory);
        usedOn = executor.callBlocking([](Ledger&) { return std::this_thread::get_id(); });
        EXPECT_FALSE(executor.isExecutorThread());
    }
    EXPECT_NE(usedOn, std::this_thread::get_id());
    EXPECT_EQ(trace.madeOn, usedOn);
    EXPECT_EQ(trace.destroyedOn, usedOn);
}

TEST_F(SerialExecutorTest, JobsRunInQueueOrderAndDestructionFinishesTheQueue)
{
    {
        Executor executor(factory);
        const auto gate = test::Gate::make();
        executor.post([gate](Ledger&) { gate->wait(); }); // lets the queue fill up behind it
        for (int i = 0; i < 100; ++i) {
            executor.post([i](Ledger& ledger) { ledger.entries.push_back(i); });
        }
        gate->open();
    }
    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i) {
        expected[i] = i;
    }
    EXPECT_EQ(trace.finalEntries, expected);
    EXPECT_TRUE(drain());
}

struct CallResults {
    int value = 0;
    std::size_t sizeAfterVoidCall = 0;
    std::size_t sizeAfterAppend = 0;
    QString joined;
    bool resumedOnGuiThread = false;
    std::optional<int> caughtCode;
    QString caughtMessage;
};

class LedgerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Task<> callThrough(Executor* executor, CallResults* out)
{
    out->value = co_await executor->call([](Ledger&) { return 42; });
    co_await executor->call([](Ledger& ledger) { ledger.entries.push_back(1); });
    out->sizeAfterVoidCall = co_await executor->call([](Ledger& ledger) { return ledger.entries.size(); });
    out->sizeAfterAppend = co_await executor->call(&Ledger::append, 7);
    const QString first = QStringLiteral("left");
    out->joined = co_await executor->call(
        [](Ledger&, const QString& a, QString b) -> QString { return a + QLatin1Char('+') + b; }, first,
        QStringLiteral("right"));
    out->resumedOnGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    try {
        co_await executor->call([](Ledger&) -> int { throw test::TestError{17}; });
    } catch (const test::TestError& error) {
        out->caughtCode = error.code;
    }
    try {
        co_await executor->call([](Ledger&) { throw LedgerError("locked"); });
    } catch (const LedgerError& error) {
        out->caughtMessage = QString::fromUtf8(error.what());
    }
}

TEST_F(SerialExecutorTest, CallResumesOnTheGuiThreadWithTheResultOrTheExceptionAsThrown)
{
    Executor executor(factory);
    QObject context;
    CallResults results;
    startTask(&context, callThrough(&executor, &results));

    ASSERT_TRUE(drain());
    EXPECT_EQ(results.value, 42);
    EXPECT_EQ(results.sizeAfterVoidCall, 1U);
    EXPECT_EQ(results.sizeAfterAppend, 2U);
    EXPECT_EQ(results.joined, QStringLiteral("left+right"));
    EXPECT_TRUE(results.resumedOnGuiThread);
    EXPECT_EQ(results.caughtCode, 17);
    EXPECT_EQ(results.caughtMessage, QStringLiteral("locked"));
}

Task<> spinUntilCancelled(Executor* executor, std::shared_ptr<std::atomic<bool>> spinning, bool* stoppedByCancel,
                          bool* bodySawCancel)
{
    const CancelToken token = (co_await currentTask()).token();
    *stoppedByCancel = co_await executor->call(
        [](Ledger&, const CancelToken& token, const std::shared_ptr<std::atomic<bool>>& spinning) {
            spinning->store(true);
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!token.isCancelled()) {
                if (std::chrono::steady_clock::now() > giveUp) {
                    return false;
                }
                std::this_thread::yield();
            }
            return true;
        },
        token, spinning);
    *bodySawCancel = (co_await currentTask()).isCancelled();
}

TEST_F(SerialExecutorTest, CancelFromTheGuiThreadIsSeenByARunningJob)
{
    Executor executor(factory);
    QObject context;
    const auto spinning = std::make_shared<std::atomic<bool>>(false);
    bool stoppedByCancel = false;
    bool bodySawCancel = false;
    const TaskHandle handle =
        startTask(&context, spinUntilCancelled(&executor, spinning, &stoppedByCancel, &bodySawCancel));

    const bool jobSpinning = QTest::qWaitFor([&] { return spinning->load(); });
    EXPECT_FALSE(handle.isCancelled());
    handle.cancel();
    ASSERT_TRUE(jobSpinning);
    ASSERT_TRUE(drain());
    EXPECT_TRUE(stoppedByCancel);
    EXPECT_TRUE(bodySawCancel);
}

Task<int> childAwaitingGatedJob(Executor* executor, std::shared_ptr<test::Gate> gate, int* destroyed,
                                bool* continued)
{
    const test::DestructionCounter local(destroyed);
    const int value = co_await executor->call(
        [](Ledger&, const std::shared_ptr<test::Gate>& gate) {
            gate->wait();
            return 1;
        },
        gate);
    *continued = true;
    co_return value;
}

Task<> rootAwaitingChild(Executor* executor, std::shared_ptr<test::Gate> gate, int* destroyed,
                         bool* childContinued, bool* rootContinued)
{
    const test::DestructionCounter local(destroyed);
    co_await childAwaitingGatedJob(executor, gate, destroyed, childContinued);
    *rootContinued = true;
}

Task<> noteEnd(TaskHandle awaited, bool* noted)
{
    co_await awaited;
    *noted = true;
}

// The context may die while the job still runs, or after it has finished and
// posted its result but before that result is delivered; either way nothing
// after the await may run, and both frames must be destroyed.
TEST_F(SerialExecutorTest, TaskWhoseContextDiesDuringAJobIsDestroyedNotResumed)
{
    for (const bool jobFinishesFirst : {false, true}) {
        SCOPED_TRACE(jobFinishesFirst ? "job finishes first" : "context dies first");
        Executor executor(factory);
        auto context = std::make_unique<QObject>();
        const auto gate = test::Gate::make();
        int destroyed = 0;
        bool childContinued = false;
        bool rootContinued = false;
        bool waiterNoted = false;
        const TaskHandle handle = startTask(
            context.get(), rootAwaitingChild(&executor, gate, &destroyed, &childContinued, &rootContinued));
        startTask(nullptr, noteEnd(handle, &waiterNoted));

        const bool jobStarted = QTest::qWaitFor([&] { return gate->wasReached(); });
        if (jobFinishesFirst) {
            gate->open();
            executor.callBlocking([](Ledger&) {}); // the job before it has posted its result by now
            context.reset();
        } else {
            context.reset();
            gate->open();
        }
        ASSERT_TRUE(jobStarted);
        ASSERT_TRUE(drain());
        EXPECT_FALSE(childContinued);
        EXPECT_FALSE(rootContinued);
        EXPECT_EQ(destroyed, 2);
        EXPECT_TRUE(handle.isDone());
        EXPECT_TRUE(waiterNoted);
    }
}

// Counts live copies of itself; a copy destroyed twice drives the count below
// the number of copies made.
class LiveCopies {
public:
    explicit LiveCopies(std::shared_ptr<std::atomic<int>> live) : live_(std::move(live)) { ++*live_; }
    LiveCopies(const LiveCopies& other) : live_(other.live_) { ++*live_; }
    LiveCopies& operator=(const LiveCopies&) = delete;
    ~LiveCopies() { --*live_; }

private:
    std::shared_ptr<std::atomic<int>> live_;
};

Task<> passCopies(Executor* executor, std::shared_ptr<std::atomic<int>> live, std::shared_ptr<test::Gate> gate)
{
    const LiveCopies original(live);
    co_await executor->call([](Ledger&, const LiveCopies&) {}, original);
    co_await executor->call(
        [](Ledger&, const LiveCopies&, const std::shared_ptr<test::Gate>& gate) { gate->wait(); }, original,
        gate);
}

TEST_F(SerialExecutorTest, ArgumentsOfAwaitedJobsAreDestroyedExactlyOnce)
{
    Executor executor(factory);
    const auto live = std::make_shared<std::atomic<int>>(0);
    const auto openGate = test::Gate::make();
    openGate->open();
    const auto gate = test::Gate::make();
    QObject finishing;
    auto dying = std::make_unique<QObject>();
    startTask(&finishing, passCopies(&executor, live, openGate));
    startTask(dying.get(), passCopies(&executor, live, gate));

    const bool parked = QTest::qWaitFor([&] { return gate->wasReached(); });
    dying.reset(); // the second task's frame is destroyed while it awaits
    gate->open();
    ASSERT_TRUE(parked);
    ASSERT_TRUE(drain());
    EXPECT_EQ(live->load(), 0);
}

struct OpenError {
    int code;
};

Task<> callBrokenExecutor(Executor* executor, std::optional<int>* caughtCode)
{
    try {
        co_await executor->call([](Ledger&) { return 0; });
    } catch (const OpenError& error) {
        *caughtCode = error.code;
    }
}

TEST_F(SerialExecutorTest, FailedFactoryFailsEveryJobWithItsException)
{
    Executor executor([]() -> std::unique_ptr<Ledger> { throw OpenError{14}; });
    QObject context;
    std::optional<int> caughtCode;
    startTask(&context, callBrokenExecutor(&executor, &caughtCode));
    ASSERT_TRUE(drain());
    EXPECT_EQ(caughtCode, 14);
    EXPECT_THROW(executor.callBlocking([](Ledger&) {}), OpenError);

    const test::WarningLog warnings;
    executor.post([](Ledger&) {});
    ASSERT_TRUE(drain());
    EXPECT_EQ(warnings.messages().size(), 1);
}

TEST_F(SerialExecutorTest, FactoryThatMakesNothingIsAnError)
{
    Executor executor([] { return std::unique_ptr<Ledger>(); });
    EXPECT_THROW(executor.callBlocking([](Ledger&) {}), std::logic_error);
}

TEST_F(SerialExecutorTest, CallBlockingRethrowsAndPostLogsJobErrors)
{
    Executor executor(factory);
    EXPECT_THROW(executor.callBlocking([](Ledger&) -> int { throw test::TestError{3}; }), test::TestError);

    const test::WarningLog warnings;
    executor.post([](Ledger&) { throw LedgerError("full"); });
    ASSERT_TRUE(drain());
    ASSERT_EQ(warnings.messages().size(), 1);
    EXPECT_TRUE(warnings.messages().front().contains(QStringLiteral("full")));
}

TEST_F(SerialExecutorTest, CallBlockingFromTheExecutorThreadStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Executor executor(factory);
            executor.post([&executor](Ledger&) { executor.callBlocking([](Ledger&) {}); });
        },
        "callBlocking\\(\\) called from the executor's own thread");
}

} // namespace
} // namespace pivra
