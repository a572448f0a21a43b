#include "StoreTestKit.h"

#include "media/metadata/MetadataInspector.h"
#include "platform/runtime/Drain.h"
#include "store/FolderProbe.h"
#include "support/JpegMaker.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// A folder whose listing hangs, as on a network share whose server went away,
// until the test lets it go.
std::shared_future<void> deadDiskAnswers;
std::atomic<bool> deadDiskEntered{false};

FolderWalk walkHangingOnDeadDisk(const QString& root, const CancelToken& cancel)
{
    if (root.endsWith(QLatin1String("/Dead"))) {
        deadDiskEntered = true;
        deadDiskAnswers.wait();
    }
    return walkFolder(root, cancel);
}

class SlowDiskTest : public test::StoreTest {
protected:
    LibrarySource photoFolder(const QString& name, int count)
    {
        const QString folder = makeFolder(name);
        for (int index = 0; index < count; ++index) {
            EXPECT_TRUE(test::makeJpeg(folder + QStringLiteral("/IMG_%1.jpg").arg(index), QSize(32, 24)));
        }
        return test::folderSourceAt(folder);
    }

    // The longest time the GUI thread's event loop went without turning while
    // `until` became true.
    static std::chrono::milliseconds longestStall(const std::function<bool()>& until, int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ticker.start(5);
        EXPECT_TRUE(QTest::qWaitFor(until, timeoutMs));
        return std::chrono::milliseconds(std::max(longest, clock.elapsed() - last));
    }

    std::promise<void> release_;
};

TEST_F(SlowDiskTest, AProbeThatHangsCountsAsOfflineWithinTheLimitAndIsNotStartedAgainWhileItHangs)
{
    const LibrarySource fast = test::folderSourceAt(makeFolder(QStringLiteral("Fast")));
    const LibrarySource hung = test::folderSourceAt(makeFolder(QStringLiteral("Hung")));
    storeSources(encodeSources({hung, fast}));
    const std::shared_future<void> answers = release_.get_future().share();
    auto hungProbes = std::make_shared<std::atomic<int>>(0);
    LibraryServices services;
    services.probeFolder = [answers, hungProbes](const LibrarySource& source) {
        if (source.name == QLatin1String("Hung")) {
            ++*hungProbes;
            answers.wait();
        }
        return probeFolder(source);
    };

    QElapsedTimer clock;
    clock.start();
    auto store = makeStore(std::move(services));
    const auto online = [&](int index) -> bool { return store->sources()[index].isOnline; };
    EXPECT_LT(longestStall([&] { return online(1); }), 100ms);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_FALSE(online(0));
    EXPECT_TRUE(store->permissionNeededIDs().isEmpty()); // a share that hangs is not worth a question
    EXPECT_EQ(store->watchedPaths(), QStringList{fast.lastKnownPath});

    // While its probe still hangs the source is offline at once.
    QSignalSpy passes(store.get(), &LibraryStore::sourcesChanged);
    clock.restart();
    store->rescan();
    EXPECT_LT(longestStall([&]() -> bool { return passes.count() >= 2; }), 100ms);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(hungProbes->load(), 1);

    // Once the share answers again, the source comes back by itself.
    release_.set_value();
    EXPECT_TRUE(QTest::qWaitFor([&] { return online(0); }));
    ASSERT_TRUE(drain());
}

TEST_F(SlowDiskTest, AScanHangingOnADeadDiskHoldsUpNoOtherSourceAndFinishesWhenItAnswers)
{
    deadDiskEntered = false;
    deadDiskAnswers = release_.get_future().share();
    const LibrarySource dead = photoFolder(QStringLiteral("Dead"), 2);
    const LibrarySource live = photoFolder(QStringLiteral("Live"), 2);
    storeSources(encodeSources({dead, live}));
    auto store = makeStore(
        {.inspector = std::make_shared<MetadataInspector>(), .walker = &walkHangingOnDeadDisk});
    ASSERT_TRUE(QTest::qWaitFor([] { return deadDiskEntered.load(); }));

    // A new photo in the other folder, and a rescan, as the watcher makes.
    ASSERT_TRUE(test::makeJpeg(live.lastKnownPath + QStringLiteral("/IMG_9.jpg"), QSize(32, 24)));
    store->rescan();
    EXPECT_TRUE(QTest::qWaitFor([&] { return store->totalCount() == 3; }));
    EXPECT_TRUE(store->isScanning());

    release_.set_value();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->isScanning());
    EXPECT_EQ(store->totalCount(), 5);
}

} // namespace
} // namespace pivra
