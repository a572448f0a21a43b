#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "media/camera/CameraSourceManager.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/Drain.h"
#include "support/fakes/FakeCameraBackend.h"
#include "support/files/JpegMaker.h"
#include "support/system/PoolThreads.h"

#include "StoreTestKit.h"
#include "media/thumbnails/ThumbnailTestKit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using namespace std::chrono_literals;
using test::folderSource;

// The real renderer, counted and held at a gate the test may close.
class GatedRenderer : public ThumbnailRenderer {
public:
    Rendering render(const MediaItem& item, int pixels, DecodeUrgency urgency) const override
    {
        ++renders;
        gate.pass();
        return ThumbnailRenderer::render(item, pixels, urgency);
    }

    mutable std::atomic<int> renders{0};
    mutable test::ReopenableGate gate;
};

class ThumbnailPreparationTest : public test::StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        renderer = std::make_shared<GatedRenderer>();
        makeThumbnails();
    }

    void makeThumbnails()
    {
        thumbnails = std::make_unique<ThumbnailStore>(
            ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))), renderer);
    }

    // `photos` real JPEGs and `garbage` unreadable files of a new source,
    // each with its row; none has a thumbnail yet.
    LibrarySource photoSource(const QString& name, int photos, int garbage = 0)
    {
        const LibrarySource source = folderSource(name, true);
        const MediaCatalog schema(catalogPath_);
        test::MediaRowWriter writer(catalogPath_);
        QDir().mkpath(pathOf(name));
        for (int index = 0; index < photos + garbage; ++index) {
            const QString relative = name + u'/' + QString::number(index) + u".jpg";
            const QString path = pathOf(relative);
            if (index < photos) {
                // A size of its own gives each file its own content key.
                EXPECT_TRUE(test::makeJpeg(path, QSize(64 + rows_ % 64, 48 + rows_ / 64)));
            } else {
                QFile file(path);
                EXPECT_TRUE(file.open(QIODevice::WriteOnly));
                file.write("this is no picture at all");
            }
            test::MediaRow row = test::folderRow(source.id, relative);
            row.path = path;
            row.fileSize = QFileInfo(path).size();
            row.captured += ++rows_;
            writer.insert(row);
        }
        return source;
    }

    void markAll(const LibrarySource& source, const char* assignment)
    {
        test::MediaRowWriter writer(catalogPath_);
        writer.exec(qPrintable(QStringLiteral("UPDATE media SET %1 WHERE source_id='%2'")
                                   .arg(QLatin1String(assignment), uuidString(source.id))));
    }

    std::unique_ptr<LibraryStore> openStore(CameraSourceManager* cameras = nullptr)
    {
        return makeStore({.cameras = cameras,
                          .thumbnails = thumbnails.get(),
                          .monotonicClock = [this] { return now += step; }});
    }

    // The start-up rescan takes folders without a bookmark offline; these
    // come back online after it.
    void bringOnline(LibraryStore& store, QList<LibrarySource> sources)
    {
        ASSERT_TRUE(drain());
        store.setSources(std::move(sources));
        ASSERT_TRUE(drain());
    }

    // Read past the store, whose catalog holds the file's lock.
    ThumbnailStatus catalogStatus(const LibrarySource& source) const
    {
        test::MediaRowWriter writer(catalogPath_);
        sqlite::Statement statement(writer.db(), "SELECT COUNT(*), COUNT(thumbnail_key), "
                                                 "TOTAL(thumbnail_key IS NULL AND thumbnail_failed=0), "
                                                 "TOTAL(thumbnail_key IS NULL AND thumbnail_failed=1) "
                                                 "FROM media WHERE source_id=?");
        statement.bindUuid(1, source.id);
        EXPECT_TRUE(statement.nextRowChecked());
        return {statement.int32(0), statement.int32(1), statement.int32(2), statement.int32(3)};
    }

    std::shared_ptr<GatedRenderer> renderer;
    std::unique_ptr<ThumbnailStore> thumbnails;
    std::chrono::steady_clock::time_point now;
    std::chrono::milliseconds step{0};

private:
    int rows_ = 0;
};

TEST_F(ThumbnailPreparationTest, EveryPhotoIsKeyedAndUnreadableFilesAreMarkedFailed)
{
    const LibrarySource source = photoSource(QStringLiteral("Trip"), 500, 2);
    auto store = openStore();
    bringOnline(*store, {source});

    store->startThumbnailPreparation(true);
    EXPECT_TRUE(store->isPreparingThumbnails());
    EXPECT_EQ(store->thumbnailSourceName(), u"Trip");
    EXPECT_EQ(store->thumbnailTotal(), 502);
    ASSERT_TRUE(drain());

    EXPECT_EQ(catalogStatus(source), (ThumbnailStatus{.total = 502, .ready = 500, .pending = 0, .failed = 2}));
    ASSERT_EQ(store->processes().finished().size(), 1);
    const PivraProcess* run = &store->processes().finished().front();
    EXPECT_EQ(run->kind, PivraProcess::Kind::thumbnails);
    EXPECT_EQ(run->state, PivraProcess::State::finished);
    EXPECT_EQ(run->completed, 502);
    EXPECT_EQ(run->failed, 2);
    EXPECT_EQ(run->total, 502);
    EXPECT_FALSE(store->isPreparingThumbnails());
    EXPECT_EQ(store->thumbnailCompleted(), 500);
    EXPECT_EQ(store->thumbnailFailed(), 2);
    EXPECT_EQ(store->thumbnailStatuses().value(source.id), catalogStatus(source));
}

// Renderings are held at the gate while the run is stopped or replaced: at
// most three of them ever start, and none of their keys is written.
TEST_F(ThumbnailPreparationTest, AStopOrRestartDropsTheResultsStillRendering)
{
    const test::PoolThreadsAtLeast threads(PoolPriority::utility, 3);
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "restart" : "stop");
        const QString name = restart ? QStringLiteral("Restart") : QStringLiteral("Stop");
        catalogPath_ = pathOf(name + u".sqlite");
        const LibrarySource source = photoSource(name, 20); // files of its own: none is rendered yet
        auto store = openStore();
        bringOnline(*store, {source});
        qsizetype mostRunning = 0;
        QObject::connect(&store->processes(), &ProcessMonitor::runningChanged, store.get(),
                         [&] { mostRunning = std::max(mostRunning, store->processes().running().size()); });
        renderer->renders = 0;
        renderer->gate.close();

        store->startThumbnailPreparation(true);
        ASSERT_TRUE(QTest::qWaitFor([this] { return renderer->renders == 3; }, 10000));
        if (restart) {
            store->startThumbnailPreparation(true);
        } else {
            store->cancelThumbnailPreparation();
        }
        EXPECT_EQ(store->isPreparingThumbnails(), restart);
        ASSERT_EQ(store->processes().finished().size(), 1);
        const QUuid first = store->processes().finished().front().id;
        EXPECT_EQ(store->processes().finished().front().state, PivraProcess::State::stopped);
        EXPECT_EQ(store->processes().running().size(), restart ? 1 : 0);

        renderer->gate.open();
        ASSERT_TRUE(drain());
        EXPECT_EQ(mostRunning, 1); // the old record ends before the new one begins
        EXPECT_EQ(store->processes().finished().back().id, first);
        EXPECT_EQ(store->processes().finished().back().completed, 0);
        // A late key of the old run would leave the new run a row it cannot write.
        EXPECT_EQ(catalogStatus(source).ready, restart ? 20 : 0);
        EXPECT_EQ(store->processes().finished().front().completed, restart ? 20 : 0);
        if (!restart) {
            EXPECT_EQ(renderer->renders, 3);
        }
        EXPECT_FALSE(store->isPreparingThumbnails());
    }
}

// A scroll holds the preparations queued when the window closes: whichever
// of the store and the renderer goes first, nothing is left in flight, and a
// run whose renderer went away ends as stopped, without a message.
TEST_F(ThumbnailPreparationTest, ClosingDuringAPausedPreparationEndsEveryWait)
{
    for (const bool storeFirst : {true, false}) {
        SCOPED_TRACE(storeFirst ? "store first" : "renderer first");
        catalogPath_ = pathOf(QStringLiteral("Closing%1.sqlite").arg(storeFirst));
        const LibrarySource source = photoSource(QStringLiteral("Closing%1").arg(storeFirst), 12);
        if (!thumbnails) {
            makeThumbnails();
        }
        auto store = openStore();
        bringOnline(*store, {source});
        thumbnails->queue().setSuspended(true);
        store->startThumbnailPreparation(true);
        ASSERT_TRUE(QTest::qWaitFor([this] { return thumbnails->queue().waitingCount() == 3; }, 10000));

        if (storeFirst) {
            store.reset();
        }
        thumbnails.reset();
        EXPECT_TRUE(drain(10000));
        if (store) {
            EXPECT_FALSE(store->isPreparingThumbnails());
            ASSERT_EQ(store->processes().finished().size(), 1);
            EXPECT_EQ(store->processes().finished().front().state, PivraProcess::State::stopped);
            EXPECT_EQ(store->message(), std::nullopt);
        }
        EXPECT_EQ(renderer->renders, 0);
    }
}

// The closing run re-reads the counts in a later turn; a start in that turn
// owns the flag from then on.
TEST_F(ThumbnailPreparationTest, AStartWhileARunClosesKeepsTheNewRunCurrent)
{
    const LibrarySource source = photoSource(QStringLiteral("Trip"), 3);
    auto store = openStore();
    bringOnline(*store, {source});
    bool restarted = false;
    std::optional<bool> preparingAtSecondEnd;
    QObject::connect(store.get(), &LibraryStore::thumbnailStatusesChanged, store.get(), [&] {
        const QList<PivraProcess>& ended = store->processes().finished();
        if (!restarted && !ended.isEmpty()) {
            restarted = true;
            store->startThumbnailPreparation(false);
        }
    });
    QObject::connect(&store->processes(), &ProcessMonitor::finishedChanged, store.get(), [&] {
        if (store->processes().finished().size() == 2) {
            preparingAtSecondEnd = store->isPreparingThumbnails();
        }
    });

    store->startThumbnailPreparation(true);
    ASSERT_TRUE(drain());
    EXPECT_TRUE(restarted);
    EXPECT_EQ(preparingAtSecondEnd, true);
    EXPECT_FALSE(store->isPreparingThumbnails());
}

TEST_F(ThumbnailPreparationTest, CandidateRules)
{
    enum Setup { pending, keyed, failedMarks };
    struct Row {
        const char* what;
        Setup trip;
        bool tripOnline;
        bool emptyOnline; // a source without rows, so without a status entry
        bool onlyIncomplete;
        QString runName; // empty: no run starts
        bool message;
        int readyAfter;
    };
    const Row rows[] = {
        {"finished and unknown sources need nothing", keyed, true, true, true, {}, false, 2},
        {"nothing online, asked by the user", pending, false, false, false, {}, true, 0},
        {"the user retries failed items", failedMarks, true, false, false, QStringLiteral("Trip"), false, 2},
        {"the user asks for every online source", pending, true, true, false, QStringLiteral("All sources"), false, 2},
        {"after indexing only sources with work", pending, true, true, true, QStringLiteral("Trip"), false, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        catalogPath_ = pathOf(QString::fromLatin1(row.what) + u".sqlite");
        LibrarySource trip = photoSource(QStringLiteral("Trip"), 2);
        if (row.trip != pending) {
            markAll(trip, row.trip == keyed ? "thumbnail_key='k'" : "thumbnail_failed=1");
        }
        trip.isOnline = row.tripOnline;
        const LibrarySource empty = folderSource(QStringLiteral("Empty"), row.emptyOnline);
        auto store = openStore();
        bringOnline(*store, {trip, empty});

        store->startThumbnailPreparation(row.onlyIncomplete);
        EXPECT_EQ(store->isPreparingThumbnails(), !row.runName.isEmpty());
        EXPECT_EQ(store->thumbnailSourceName(), row.runName);
        EXPECT_EQ(store->message(), row.message ? std::optional<QString>(QStringLiteral(
                                                      "All connected sources are ready, or no source is connected."))
                                                : std::nullopt);
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->processes().finished().size(), row.runName.isEmpty() ? 0 : 1);
        EXPECT_EQ(catalogStatus(trip).ready, row.readyAfter);
    }
}

TEST_F(ThumbnailPreparationTest, ALockedDeviceIsNoCandidate)
{
    test::FakeCameraBackend fake;
    CameraSourceManager cameras(fake);
    const CameraDeviceId device = fake.plug(QStringLiteral("SERIAL-1"));
    fake.setSessionAnswer(device, test::FakeCameraBackend::SessionAnswer::locked);
    LibrarySource phone = photoSource(QStringLiteral("Phone"), 2);
    phone.kind = LibrarySource::Kind::camera;
    phone.deviceID = QStringLiteral("SERIAL-1");
    storeSources(encodeSources({phone}));
    auto store = openStore(&cameras);
    bringOnline(*store, {phone});
    ASSERT_TRUE(store->lockedCameraSourceIDs().contains(phone.id));

    store->startThumbnailPreparation(false);
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->message(),
              std::optional<QString>(QStringLiteral("All connected sources are ready, or no source is connected.")));
    EXPECT_EQ(catalogStatus(phone), (ThumbnailStatus{.total = 2, .ready = 0, .pending = 2, .failed = 0}));
}

// Each handled result reads the clock once; a publication needs 0.2 s since
// the last one, and the end of the batch publishes the counters once more
// without the record.
TEST_F(ThumbnailPreparationTest, ProgressIsPublishedAtMostEveryFifthOfASecond)
{
    struct Row {
        std::chrono::milliseconds step;
        QList<int> recordProgress; // the record's completed count while it runs
        int publications;          // of the published counters: start, throttled, batch end
    };
    const Row rows[] = {
        {0ms, {10}, 2}, // the record learns only at closing
        {100ms, {2, 4, 6, 8, 10}, 7},
        {250ms, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step.count());
        catalogPath_ = pathOf(QString::number(row.step.count()) + u".sqlite");
        const LibrarySource source = photoSource(QStringLiteral("Trip"), 10);
        step = 0ms;
        auto store = openStore();
        bringOnline(*store, {source});
        QList<int> progress;
        QObject::connect(&store->processes(), &ProcessMonitor::runningChanged, store.get(), [&] {
            const QList<PivraProcess>& running = store->processes().running();
            if (!running.isEmpty() && running.front().completed > 0) {
                progress.append(running.front().completed);
            }
        });
        QSignalSpy counted(store.get(), &LibraryStore::thumbnailCompletedChanged);

        step = row.step;
        store->startThumbnailPreparation(true);
        ASSERT_TRUE(drain());
        EXPECT_EQ(progress, row.recordProgress);
        EXPECT_EQ(counted.count(), row.publications);
        EXPECT_EQ(store->processes().finished().front().completed, 10);
    }
}

} // namespace
} // namespace pivra
