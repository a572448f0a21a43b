#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "media/thumbnails/MediaKey.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/files/VideoMaker.h"
#include "support/system/PoolThreads.h"

#include "StoreTestKit.h"
#include "media/thumbnails/ThumbnailTestKit.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <atomic>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using test::folderSource;

const QString enabledKey = QStringLiteral("pivra.videoPreviews.enabled");

// Clips made by the real encoder, each held at the gate once written under
// its temporary name, before it is moved into place.
class VideoPreviewPreparationTest : public test::StoreTest {
protected:
    QString clipsFolder() const { return pathOf(QStringLiteral("clips")); }

    int filesUnderClips() const
    {
        int count = 0;
        for (QDirIterator it(clipsFolder(), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next()) {
            ++count;
        }
        return count;
    }

    // `count` real videos of a new online source, the first `broken` of them
    // unreadable, each row with a key of its own unless `keys` names it.
    LibrarySource videoSource(const QString& name, int count, int broken = 0, QStringList keys = {})
    {
        const LibrarySource source = folderSource(name, true);
        const MediaCatalog schema(catalogPath_);
        test::MediaRowWriter writer(catalogPath_);
        QDir().mkpath(pathOf(name));
        for (int index = 0; index < count; ++index) {
            const QString path = pathOf(name + u'/' + QString::number(index) + u".mp4");
            if (index < broken) {
                QFile file(path);
                EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write("no video at all") > 0);
            } else {
                EXPECT_TRUE(test::makeVideo(path, {.size = QSize(64, 48), .frames = 25}));
            }
            test::MediaRow row = test::folderRow(source.id, name + u'/' + QString::number(index) + u".mp4",
                                                 QStringLiteral("video"));
            row.path = path;
            row.captured += ++rows_;
            row.fileSize += rows_;
            row.thumbnailKey = index < keys.size() ? keys[index] : digestText(path);
            writer.insert(row);
            items.append(MediaItem());
            items.back().setKind(MediaKind::video);
            items.back().setPath(path);
            items.back().setThumbnailKey(row.thumbnailKey);
        }
        return source;
    }

    std::unique_ptr<LibraryStore> openStore(const QList<LibrarySource>& sources)
    {
        auto store = makeStore({.previews = &previews, .releaseMemory = [this] { ++releases; }});
        EXPECT_TRUE(drain());
        store->setSources(sources); // the start-up rescan took them offline
        EXPECT_TRUE(drain());
        return store;
    }

    // The store's published progress never runs past its total.
    void watchProgress(LibraryStore& store)
    {
        QObject::connect(&store, &LibraryStore::videoPreviewCompletedChanged, &store,
                         [&] { progressWithinTotal &= store.videoPreviewCompleted() <= store.videoPreviewTotal(); });
    }

    test::ReopenableGate gate;
    std::atomic<int> encodes{0};
    VideoPreviewStore previews{clipsFolder(), [this](const QString& source, const QString& destination) {
                                   ++encodes;
                                   VideoPreviewStore::encodeFile(source, destination);
                                   gate.pass();
                               }};
    std::atomic<int> releases{0}; // heap trims asked for
    QList<MediaItem> items;
    bool progressWithinTotal = true;

private:
    int rows_ = 0;
};

// One broken video among them, and a video of a second source sharing a key:
// every distinct key is tried once, the broken one counts as failed.
TEST_F(VideoPreviewPreparationTest, EveryNeededClipIsMadeOnce)
{
    const LibrarySource trip = videoSource(QStringLiteral("Trip"), 4, 1);
    const LibrarySource copy = videoSource(QStringLiteral("Copy"), 1, 0, {items[1].thumbnailKey().value()});
    auto store = openStore({trip, copy});

    store->startVideoPreviewPreparation();
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->videoPreviewTotal(), 4);
    EXPECT_EQ(store->videoPreviewCompleted(), 4);
    EXPECT_FALSE(store->isPreparingVideoPreviews());
    EXPECT_EQ(encodes, 4);
    EXPECT_EQ(filesUnderClips(), 3);
    ASSERT_EQ(store->processes().finished().size(), 1);
    const PivraProcess& run = store->processes().finished().front();
    EXPECT_EQ(run.kind, PivraProcess::Kind::videoPreviews);
    EXPECT_EQ(run.state, PivraProcess::State::finished);
    EXPECT_EQ(run.detail, u"Trip and Copy");
    EXPECT_EQ(run.completed, 4);
    EXPECT_EQ(run.failed, 1);
    EXPECT_EQ(run.total, 4);

    // Every clip is there and the broken one is marked failed: no new run.
    store->startVideoPreviewPreparation();
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->processes().finished().size(), 1);
    EXPECT_EQ(encodes, 4);
}

// Clips switched off elsewhere: the clips under way finish, none starts
// after them, and the run ends stopped. The heap is trimmed once the run has
// ended, not while it works.
TEST_F(VideoPreviewPreparationTest, SwitchingClipsOffStopsTheRun)
{
    auto store = openStore({videoSource(QStringLiteral("Trip"), 4)});
    const int releasesAtRest = releases;
    gate.close();
    store->startVideoPreviewPreparation();
    ASSERT_TRUE(QTest::qWaitFor([this] { return encodes == 2; }, 10000));
    AppSettings().setValue(enabledKey, false);
    EXPECT_EQ(releases, releasesAtRest);
    gate.open();
    ASSERT_TRUE(drain());
    EXPECT_EQ(releases, releasesAtRest + 1);

    EXPECT_EQ(encodes, 2);
    EXPECT_EQ(filesUnderClips(), 2);
    EXPECT_FALSE(store->isPreparingVideoPreviews());
    ASSERT_EQ(store->processes().finished().size(), 1);
    EXPECT_EQ(store->processes().finished().front().state, PivraProcess::State::stopped);
    EXPECT_EQ(store->processes().finished().front().completed, 1);
}

// A new run starts while the stopped one still waits for its two clips; the
// late results of the old run belong to the old run only.
TEST_F(VideoPreviewPreparationTest, AStoppedRunLeavesTheNewRunsProgressAlone)
{
    // The stopped run's two clips at the gate, and the new run's two.
    const test::PoolThreadsAtLeast threads(PoolPriority::utility, 4);
    auto store = openStore({videoSource(QStringLiteral("Trip"), 3)});
    watchProgress(*store);
    gate.close();
    store->startVideoPreviewPreparation();
    ASSERT_TRUE(QTest::qWaitFor([this] { return encodes == 2; }, 10000));
    store->cancelVideoPreviewPreparation();
    EXPECT_FALSE(store->isPreparingVideoPreviews());
    ASSERT_EQ(store->processes().finished().size(), 1);
    EXPECT_EQ(store->processes().finished().front().state, PivraProcess::State::stopped);

    store->startVideoPreviewPreparation();
    ASSERT_TRUE(QTest::qWaitFor([this] { return encodes == 4; }, 10000));
    EXPECT_TRUE(store->isPreparingVideoPreviews());
    gate.open();
    ASSERT_TRUE(drain());

    EXPECT_TRUE(progressWithinTotal);
    EXPECT_EQ(store->videoPreviewTotal(), 3);
    EXPECT_EQ(store->videoPreviewCompleted(), 3);
    EXPECT_FALSE(store->isPreparingVideoPreviews());
    EXPECT_TRUE(store->processes().running().isEmpty());
    ASSERT_EQ(store->processes().finished().size(), 2);
    EXPECT_EQ(store->processes().finished().front().state, PivraProcess::State::finished);
    EXPECT_EQ(store->processes().finished().front().completed, 3);
    EXPECT_EQ(store->processes().finished().back().state, PivraProcess::State::stopped);
    EXPECT_EQ(filesUnderClips(), 3);
}

// The clips still being encoded are moved into place before the deletion,
// never after it, and none of them is left marked as failed.
TEST_F(VideoPreviewPreparationTest, DeleteAllWaitsForTheClipsUnderWay)
{
    auto store = openStore({videoSource(QStringLiteral("Trip"), 3)});
    gate.close();
    store->startVideoPreviewPreparation();
    ASSERT_TRUE(QTest::qWaitFor([this] { return encodes == 2; }, 10000));

    // It stops the run, then waits for it: were the clips moved into place
    // after the deletion, or marked failed, the checks below would fail.
    const TaskHandle deletion = startTask(store.get(), store->deleteAllVideoPreviews());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store->processes().finished().isEmpty(); }, 10000));
    EXPECT_FALSE(deletion.isDone());
    EXPECT_EQ(store->processes().finished().front().state, PivraProcess::State::stopped);
    gate.open();
    ASSERT_TRUE(drain());

    EXPECT_TRUE(deletion.isDone());
    EXPECT_EQ(encodes, 2);
    EXPECT_FALSE(QFileInfo::exists(clipsFolder()));
    EXPECT_FALSE(AppSettings().flag(enabledKey, true));
    for (const MediaItem& item : std::as_const(items)) {
        EXPECT_TRUE(previews.needsPreview(item)) << item.path().toStdString();
    }
}

} // namespace
} // namespace pivra
