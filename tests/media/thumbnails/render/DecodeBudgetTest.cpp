#include "media/thumbnails/render/DecodeBudget.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pivra {
namespace {

constexpr std::int64_t mib = std::int64_t(1) << 20;

// Waits for a state the budget's threads reach; false when they never do.
bool reaches(const std::function<bool()>& state)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!state()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(DecodeBudgetTest, LargeDecodesRunSideBySideWhileTheirSumFitsTheBudget)
{
    DecodeBudget budget(250 * mib);
    const DecodeFootprint decode{80 * mib};
    std::vector<std::thread> decoders;
    for (int i = 0; i < 9; ++i) {
        decoders.emplace_back([&] {
            const DecodeBudget::Share share = budget.admit(decode, DecodeUrgency::background);
            // Held until as many as fit have been in at once.
            EXPECT_TRUE(reaches([&] { return budget.usage().peakDecodes == 3; }));
        });
    }
    for (std::thread& decoder : decoders) {
        decoder.join();
    }
    const DecodeBudget::Usage usage = budget.usage();
    EXPECT_EQ(usage.peakDecodes, 3);
    EXPECT_EQ(usage.peakBytes, 240 * mib);
    EXPECT_EQ(usage.bytes, 0);

    // A decode that is not large takes nothing, even from a full budget;
    // one beyond the capacity takes all of it, alone.
    const DecodeBudget::Share whole = budget.admit({400 * mib}, DecodeUrgency::visible);
    EXPECT_EQ(budget.usage().bytes, 250 * mib);
    const DecodeBudget::Share small = budget.admit({largeDecodeBytes}, DecodeUrgency::background);
    EXPECT_EQ(budget.usage().decodes, 1);
    EXPECT_GE(DecodeBudget::shared().capacity(), largestDecodeBytes);
}

TEST(DecodeBudgetTest, AVisibleDecodeGoesBeforeBackgroundOnesThatCameFirst)
{
    DecodeBudget budget(200 * mib);
    std::optional<DecodeBudget::Share> running = budget.admit({150 * mib}, DecodeUrgency::background);
    std::mutex mutex;
    QStringList order;
    const auto decode = [&](const QString& name, DecodeUrgency urgency) {
        return std::thread([&, name, urgency] {
            const DecodeBudget::Share share = budget.admit({150 * mib}, urgency);
            const std::lock_guard guard(mutex);
            order.push_back(name);
        });
    };
    std::vector<std::thread> decoders;
    for (const auto& [name, urgency] : {std::pair(QStringLiteral("preparation 1"), DecodeUrgency::background),
                                        std::pair(QStringLiteral("preparation 2"), DecodeUrgency::background),
                                        std::pair(QStringLiteral("tile on screen"), DecodeUrgency::visible)}) {
        const int waiting = budget.usage().waiting;
        decoders.push_back(decode(name, urgency));
        ASSERT_TRUE(reaches([&] { return budget.usage().waiting == waiting + 1; }));
    }
    running.reset();
    for (std::thread& decoder : decoders) {
        decoder.join();
    }
    EXPECT_EQ(order, (QStringList{QStringLiteral("tile on screen"), QStringLiteral("preparation 1"),
                                QStringLiteral("preparation 2")}));
    EXPECT_EQ(budget.usage().peakDecodes, 1);
}

} // namespace
} // namespace pivra
