#include "media/thumbnails/render/DecodeBudget.h"
#include "platform/runtime/memory/MemoryLimit.h"

#include "media/thumbnails/ThumbnailTestKit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
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

using test::reaches;

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
}

// The program under a memory limit of its control group (a systemd slice, a
// container) sizes its budget from that limit, not from the machine's memory:
// the groups are read from a made-up folder laid out as the kernel's.
TEST(DecodeBudgetTest, TheBudgetFollowsTheLeastLimitOfTheProcesssControlGroups)
{
    QTemporaryDir folder;
    const auto write = [&folder](const QString& relative, const QByteArray& text) {
        const QString path = folder.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const CgroupFiles files{folder.filePath(QStringLiteral("self-cgroup")), folder.filePath(QStringLiteral("fs"))};
    const std::int64_t machine = usableMemory(CgroupFiles{folder.filePath(QStringLiteral("none")), {}});
    ASSERT_GT(machine, 2048 * mib);
    const std::int64_t limit = 768 * mib;
    const struct {
        const char* name;
        QByteArray membership;
        QList<std::pair<QString, QByteArray>> limits;
        std::optional<std::int64_t> expected;
    } rows[] = {
        {"v2, its own group", "0::/app.slice/pivra.scope\n",
         {{"fs/app.slice/pivra.scope/memory.max", QByteArray::number(limit) + "\n"},
          {"fs/app.slice/memory.max", "max\n"}},
         limit},
        {"v2, the slice above", "0::/app.slice/pivra.scope\n",
         {{"fs/app.slice/pivra.scope/memory.max", "max\n"}, {"fs/app.slice/memory.max", QByteArray::number(limit)}},
         limit},
        {"v2, a container's own root", "0::/\n", {{"fs/memory.max", QByteArray::number(limit)}}, limit},
        {"v1, beside other controllers", "5:cpu,cpuacct:/\n4:memory:/jobs/pivra\n0::/\n",
         {{"fs/memory/jobs/pivra/memory.limit_in_bytes", QByteArray::number(limit)},
          {"fs/memory/memory.limit_in_bytes", "9223372036854771712\n"}},
         limit},
        {"v2 without a limit", "0::/user.slice\n", {{"fs/user.slice/memory.max", "max\n"}}, std::nullopt},
        {"v1 without a limit", "4:memory:/\n", {{"fs/memory/memory.limit_in_bytes", "9223372036854771712\n"}},
         std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(folder.filePath(QStringLiteral("fs"))).removeRecursively();
        write(QStringLiteral("self-cgroup"), row.membership);
        for (const auto& [file, text] : row.limits) {
            write(file, text);
        }
        EXPECT_EQ(cgroupMemoryLimit(files), row.expected);
        const std::int64_t usable = usableMemory(files);
        EXPECT_EQ(usable, row.expected.value_or(machine));
        if (row.expected) {
            // Large decodes one at a time, where the machine's memory would
            // let several hundred megabytes of them run side by side.
            EXPECT_EQ(DecodeBudget::capacityFor(usable), largeDecodeBytes);
            EXPECT_GE(DecodeBudget::capacityFor(machine), 2 * largeDecodeBytes);
        }
    }
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
