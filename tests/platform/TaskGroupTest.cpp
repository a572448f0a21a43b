#include "platform/runtime/TaskGroup.h"

#include "platform/RuntimeTestKit.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/threads/Pool.h"

#include <QObject>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace pivra {
namespace {

int passGate(const std::shared_ptr<test::Gate>& gate)
{
    gate->wait();
    return 1;
}

Task<int> heldOnPool(std::shared_ptr<test::Gate> gate)
{
    co_return co_await runOnPool(PoolPriority::utility, &passGate, std::move(gate));
}

Task<> takeOne(QObject* owner, std::shared_ptr<test::Gate> gate, int* destroyed, bool* took)
{
    const test::DestructionCounter counter(destroyed);
    TaskGroup<int> group;
    group.add(owner, heldOnPool(std::move(gate)));
    co_await group.next();
    *took = true;
}

// One object owns both the taker and its children, as the store owns its
// thumbnail preparation: when it goes while a child runs, the child is
// dropped, and the waiting taker's frame must be destroyed with it rather
// than wait for ever.
TEST(TaskGroupTest, ATakerWhoseContextWentWithItsChildIsDestroyedNotLeftWaiting)
{
    auto owner = std::make_unique<QObject>();
    const auto gate = test::Gate::make();
    int destroyed = 0;
    bool took = false;
    startTask(owner.get(), takeOne(owner.get(), gate, &destroyed, &took));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate->wasReached(); }));
    owner.reset();
    gate->open();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(took);
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace pivra
