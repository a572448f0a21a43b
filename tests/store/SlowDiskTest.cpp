#include "StoreTestKit.h"

#include "media/metadata/MetadataInspector.h"
#include "platform/folders/MountTable.h"
#include "platform/runtime/Drain.h"
#include "store/FolderProbe.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/files/JpegMaker.h"
#include "support/system/ProcessorStarvation.h"
#include "support/system/TestMounts.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

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

// The threads of this process now.
int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
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

    // Waits as long as a machine running every suite at once may take.
    static bool waitFor(const std::function<bool()>& done)
    {
        return test::EventLoopWatch().waitFor(done, 120'000);
    }

    static bool allOnline(const LibraryStore& store, const QStringList& names, bool online)
    {
        return std::all_of(store.sources().cbegin(), store.sources().cend(), [&](const LibrarySource& source) {
            return !names.contains(source.name) || source.isOnline == online;
        });
    }

    // A store that adds `folders` as the user does, gives each probe 300 ms
    // with `threads` probing at once, and counts in probes_ the probes of
    // the sources `counted` picks.
    std::unique_ptr<LibraryStore> storeAdding(const QStringList& folders, int threads,
                                              std::function<bool(const LibrarySource&)> counted)
    {
        picker_.answers.push_back(folders);
        LibraryServices services;
        services.probeTimeLimit = 300ms;
        services.probeThreads = threads;
        services.folderPicker = &picker_;
        services.probeFolder = [probes = probes_, counted = std::move(counted)](const LibrarySource& source) {
            if (counted(source)) {
                ++*probes;
            }
            return probeFolder(source);
        };
        auto store = makeStore(std::move(services));
        EXPECT_TRUE(drain());
        store->addFolders();
        EXPECT_TRUE(drain());
        return store;
    }

    std::promise<void> release_;
    test::ScriptedFolderPicker picker_;
    const std::shared_ptr<std::atomic<int>> probes_ = std::make_shared<std::atomic<int>>(0);
};

// A probe that only waits for a processor, however long, is a busy machine,
// not a disk that does not answer: its source stays online throughout.
TEST_F(SlowDiskTest, AProbeWaitingForAProcessorKeepsItsSourceOnlineHoweverLongItTakes)
{
    const LibrarySource photos = test::folderSourceAt(makeFolder(QStringLiteral("Photos")));
    storeSources(encodeSources({photos}));
    const std::chrono::milliseconds limit(300);
    auto starved = std::make_shared<std::atomic<bool>>(false);
    auto ran = std::make_shared<std::atomic<std::int64_t>>(-1);
    LibraryServices services;
    services.probeTimeLimit = limit;
    services.probeFolder = [starved, ran, limit](const LibrarySource& source) {
        if (starved->load()) {
            *ran = test::runStarved(3 * limit).count();
        }
        return probeFolder(source);
    };
    auto store = makeStore(std::move(services));
    ASSERT_TRUE(drain());
    ASSERT_TRUE(store->sources().front().isOnline);

    bool wentOffline = false;
    QObject::connect(store.get(), &LibraryStore::sourcesChanged, store.get(),
                     [&] { wentOffline = wentOffline || !store->sources().front().isOnline; });
    *starved = true;
    store->rescan();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(wentOffline);
    EXPECT_TRUE(store->sources().front().isOnline);
    // It had a processor for a small part of that time only.
    ASSERT_GE(ran->load(), 0);
    EXPECT_LT(std::chrono::nanoseconds(ran->load()), limit) << "the probe was not held up";
}

// Disks whose server stops answering (FUSE mounts whose daemon is stopped):
// once a probe has slept in the file system for the limit, its source is
// offline, without a question, and every other source comes online in the
// same pass, though only two probes read at a time. While the disks hang no
// probe reads them again, and when they answer, their sources are back by
// themselves, in one pass however many answered.
TEST_F(SlowDiskTest, DisksThatDoNotAnswerAreOfflineHoldUpNoOtherAndComeBackInOnePassWhenTheyAnswer)
{
    test::TestMounts mounts;
    QStringList points;
    QStringList dead;
    for (int index = 0; index < 5; ++index) {
        dead.append(QStringLiteral("Share%1").arg(index));
        points.append(makeFolder(dead.last()));
        if (!mounts.bindThroughFuse(makeFolder(dead.last() + QStringLiteral(" files")), points.last())) {
            GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
        }
    }
    QList<LibrarySource> sources;
    QStringList live;
    for (int index = 0; index < 12; ++index) {
        sources.append(photoFolder(QStringLiteral("Live%1").arg(index), 0));
        live.append(sources.last().name);
    }
    storeSources(encodeSources(sources));
    // Added by the user: a share's folder has nothing of its own that tells
    // it from another, and is known again only on the mount it was added on.
    auto store = storeAdding(points, 2, [](const LibrarySource& source) {
        return source.name.startsWith(QLatin1String("Share"));
    });
    ASSERT_TRUE(allOnline(*store, dead + live, true));

    for (const QString& point : std::as_const(points)) {
        ASSERT_TRUE(mounts.hang(point, std::chrono::minutes(5))) << qPrintable(mounts.failure());
    }
    *probes_ = 0;
    store->rescan();
    ASSERT_TRUE(waitFor([&] { return allOnline(*store, dead, false); }));
    EXPECT_TRUE(allOnline(*store, live, true));
    EXPECT_TRUE(store->permissionNeededIDs().isEmpty()); // a share that hangs is not worth a question

    // Looked at again while they hang: no probe goes near them.
    store->rescan();
    ASSERT_TRUE(drain());
    EXPECT_TRUE(allOnline(*store, dead, false));
    EXPECT_TRUE(allOnline(*store, live, true));
    EXPECT_EQ(probes_->load(), dead.size());

    const int passes = store->scanGeneration();
    for (const QString& point : std::as_const(points)) {
        EXPECT_FALSE(mounts.resumedByItself(point));
        mounts.resume(point);
    }
    ASSERT_TRUE(waitFor([&] { return allOnline(*store, dead, true); }));
    ASSERT_TRUE(drain());
    EXPECT_TRUE(allOnline(*store, dead + live, true));
    EXPECT_EQ(store->scanGeneration(), passes + 1);
}

// A share whose server stopped answering, beside a tmpfs and a loop disk.
// The share asks its server about every lookup, as NFS does, and holds a
// mount of its own below its top, which every probe that read the whole
// mount table would look up through it. The other disks' sources stay
// online, and the share's four sources hold one probe thread between them,
// not one each.
TEST_F(SlowDiskTest, AHungShareHoldsOneProbeThreadAndNoOtherDisksSources)
{
    test::TestMounts mounts;
    const QString memory = makeFolder(QStringLiteral("Memory"));
    const QString disk = makeFolder(QStringLiteral("Disk"));
    const QString share = makeFolder(QStringLiteral("Share"));
    const QString image = pathOf(QStringLiteral("Disk.img"));
    makeFolder(QStringLiteral("Share files/Mounted"));
    const std::optional<QString> device =
        mounts.makeExt4Image(image, QUuid::createUuid().toString(QUuid::WithoutBraces)) ? mounts.attach(image)
                                                                                         : std::nullopt;
    if (!device || !mounts.mountExt4(*device, disk) || !mounts.mountTmpfs(memory, QStringLiteral("tmpfs"))
        || !mounts.bindThroughFuse(pathOf(QStringLiteral("Share files")), share,
                                   test::TestMounts::FuseLookups::uncached)
        || !mounts.bind(makeFolder(QStringLiteral("Elsewhere")), share + QStringLiteral("/Mounted"))) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const QStringList others{QStringLiteral("Holiday"), QStringLiteral("Family")};
    QStringList chosen{memory + QStringLiteral("/Holiday"), disk + QStringLiteral("/Family")};
    QStringList shared;
    for (int index = 0; index < 4; ++index) {
        shared.append(QStringLiteral("Shared%1").arg(index));
        chosen.append(share + u'/' + shared.last());
    }
    for (const QString& folder : std::as_const(chosen)) {
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    auto store = storeAdding(chosen, 8, [share](const LibrarySource& source) {
        return liesUnder(source.lastKnownPath, share);
    });
    ASSERT_TRUE(allOnline(*store, others + shared, true));
    ASSERT_EQ(store->sources().size(), chosen.size());

    ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
    *probes_ = 0;
    store->rescan();
    ASSERT_TRUE(waitFor([&] { return allOnline(*store, shared, false); }));
    EXPECT_TRUE(allOnline(*store, others, true));
    EXPECT_EQ(probes_->load(), 1); // the one that hangs

    mounts.resume(share);
    EXPECT_TRUE(waitFor([&] { return allOnline(*store, shared, true); }));
    EXPECT_TRUE(drain());
}

// A folder chosen through a link (~/Pictures), beside two plain folders on
// the disk the link lies on, while a share stops answering. A folder that
// lies on the share goes offline alone, also once the link has been pointed
// elsewhere, and is back when the share answers; a folder on the link's own
// disk stays online though the link has since been pointed into the share.
TEST_F(SlowDiskTest, AHungShareALinkLeadsIntoTakesOnlyTheFoldersOnItOffline)
{
    const struct {
        const char* name;
        const char* addedAt;   // where the link led when the folder was added, "" for the share
        const char* pointedAt; // where it leads now, "" for the share
        bool goesOffline;
        // Back when the share answers. Found away from the path it was held
        // at, on a share nothing of its own tells from another, it is asked
        // about instead, as any such folder.
        bool comesBack;
    } rows[] = {
        {"into the share", "", "", true, true},
        {"into the share, pointed elsewhere since", "", "Elsewhere", true, false},
        {"to its own disk, pointed into the share since", "Mine", "", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        storeSources(encodeSources({}));
        test::TestMounts mounts;
        const QString share = makeFolder(QStringLiteral("%1/Share").arg(row.name));
        makeFolder(QStringLiteral("%1/Share files/Pictures").arg(row.name));
        if (!mounts.bindThroughFuse(pathOf(QStringLiteral("%1/Share files").arg(row.name)), share,
                                    test::TestMounts::FuseLookups::uncached)) {
            GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
        }
        const auto pointLink = [&](const QString& link, const char* at) {
            const QString target = *at == '\0' ? share + QStringLiteral("/Pictures")
                                               : makeFolder(QStringLiteral("%1/%2").arg(row.name, at));
            return (!QFile::exists(link) || QFile::remove(link)) && QFile::link(target, link);
        };
        const QString link = pathOf(QStringLiteral("%1/Pictures").arg(row.name));
        ASSERT_TRUE(pointLink(link, row.addedAt));
        const QStringList linked{QStringLiteral("Pictures")};
        const QStringList plain{QStringLiteral("Holiday"), QStringLiteral("Family")};
        // The linked one first: were it counted with the plain ones, it would
        // be the one probed first and the one they wait for.
        QStringList chosen{link};
        for (const QString& name : plain) {
            chosen.append(makeFolder(QStringLiteral("%1/%2").arg(row.name, name)));
        }
        auto store = storeAdding(chosen, 8, [](const LibrarySource&) { return false; });
        ASSERT_EQ(store->sources().size(), chosen.size());
        ASSERT_TRUE(allOnline(*store, linked + plain, true));
        ASSERT_TRUE(pointLink(link, row.pointedAt));

        ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
        store->rescan();
        ASSERT_TRUE(waitFor([&] { return allOnline(*store, linked, !row.goesOffline); }));
        for (int pass = 0; pass < 2; ++pass) { // the second while the share still hangs
            ASSERT_TRUE(drain());
            EXPECT_TRUE(allOnline(*store, linked, !row.goesOffline)) << "pass " << pass;
            EXPECT_TRUE(allOnline(*store, plain, true)) << "pass " << pass;
            store->rescan();
        }

        const int passes = store->scanGeneration();
        mounts.resume(share);
        // The probe that hung answers late, and a pass looks again.
        ASSERT_TRUE(waitFor([&] { return !row.goesOffline || store->scanGeneration() > passes; }));
        ASSERT_TRUE(drain());
        EXPECT_TRUE(allOnline(*store, linked, row.comesBack));
        EXPECT_TRUE(allOnline(*store, plain, true));
        store.reset();
        ASSERT_TRUE(drain());
    }
}

// Each source's probe is a call of a few threads, not a thread of its own.
TEST_F(SlowDiskTest, ThousandsOfSourcesAreProbedByAFewThreads)
{
    const int count = test::EventLoopWatch::slowdown() > 1 ? 500 : 2000;
    QList<LibrarySource> sources;
    for (int index = 0; index < count; ++index) {
        sources.append(test::folderSourceAt(makeFolder(QStringLiteral("Folders/%1").arg(index))));
    }
    storeSources(encodeSources(sources));
    const int before = threadCount();
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::atomic<int> most{0};
    std::thread counter([&] {
        while (!done) {
            const int now = threadCount();
            if (started) {
                most = std::max(most.load(), now);
            }
            std::this_thread::sleep_for(1ms);
        }
    });

    started = true;
    auto store = makeStore({.probeThreads = 16});
    const bool settled = waitFor([&] { return allOnline(*store, {store->sources().back().name}, true); });
    done = true;
    counter.join();
    ASSERT_TRUE(settled);
    ASSERT_TRUE(drain());
    EXPECT_TRUE(std::all_of(store->sources().cbegin(), store->sources().cend(),
                            [](const LibrarySource& source) { return source.isOnline; }));
    // The probes' 16 and their watch, beside the catalog's, the pools' and
    // the settings writer's threads.
    EXPECT_LE(most.load(), before + 48);
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
    ASSERT_TRUE(waitFor([] { return deadDiskEntered.load(); }));

    // A new photo in the other folder, and a rescan, as the watcher makes.
    ASSERT_TRUE(test::makeJpeg(live.lastKnownPath + QStringLiteral("/IMG_9.jpg"), QSize(32, 24)));
    store->rescan();
    EXPECT_TRUE(waitFor([&] { return store->totalCount() == 3; }));
    EXPECT_TRUE(store->isScanning());

    release_.set_value();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->isScanning());
    EXPECT_EQ(store->totalCount(), 5);
}

} // namespace
} // namespace pivra
