#include "StoreTestKit.h"

#include "media/metadata/MetadataInspector.h"
#include "platform/runtime/Drain.h"
#include "store/FolderProbe.h"
#include "support/EventLoopWatch.h"
#include "support/JpegMaker.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace pivra {
namespace {

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

    // The longest the GUI thread was held up while `until` became true, by
    // its own work or a wait, not by other processes taking the processor.
    static double longestStallMs(const std::function<bool()>& until)
    {
        const test::EventLoopWatch watch;
        EXPECT_TRUE(QTest::qWaitFor(until, 30000));
        return watch.longestMs();
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
    // Long enough that a pass waiting it out again cannot be mistaken for a
    // busy machine's slowness.
    const std::chrono::milliseconds limit(4000);
    LibraryServices services;
    services.probeTimeLimit = limit;
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
    EXPECT_LT(longestStallMs([&] { return online(1); }), 1000);
    EXPECT_LT(clock.elapsed(), 2 * limit.count());
    EXPECT_FALSE(online(0));
    EXPECT_TRUE(store->permissionNeededIDs().isEmpty()); // a share that hangs is not worth a question
    EXPECT_EQ(store->watchedPaths(), QStringList{fast.lastKnownPath});

    // While its probe still hangs the source is offline at once.
    QSignalSpy passes(store.get(), &LibraryStore::sourcesChanged);
    clock.restart();
    store->rescan();
    EXPECT_LT(longestStallMs([&]() -> bool { return passes.count() >= 2; }), 1000);
    EXPECT_LT(clock.elapsed(), limit.count());
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
