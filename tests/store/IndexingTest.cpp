#include "StoreTestKit.h"

#include "catalog/Sqlite.h"
#include "media/camera/CameraSourceManager.h"
#include "media/metadata/MetadataInspector.h"
#include "platform/runtime/Drain.h"
#include "platform/folders/FolderBookmark.h"
#include "support/fakes/FakeCameraBackend.h"
#include "support/files/JpegMaker.h"

#include <QDebug>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

namespace pivra {
namespace {

using State = PivraProcess::State;

class IndexingTest : public test::StoreTest {
protected:
    // A folder of `count` small photos, stored as a source the way adding it
    // records it.
    LibrarySource photoFolder(const QString& name, int count, int first = 0)
    {
        const QString folder = makeFolder(name);
        for (int index = first; index < first + count; ++index) {
            EXPECT_TRUE(test::makeJpeg(folder + QStringLiteral("/IMG_%1.jpg").arg(index), QSize(32, 24)));
        }
        LibrarySource source;
        source.id = QUuid::createUuid();
        source.name = name;
        source.bookmark = FolderBookmark::make(folder)->encode();
        source.lastKnownPath = folder;
        return source;
    }

    std::unique_ptr<LibraryStore> makeStore(LibraryServices services = {})
    {
        services.inspector = std::make_shared<MetadataInspector>();
        return StoreTest::makeStore(std::move(services));
    }

    static QList<PivraProcess> indexingRuns(LibraryStore& store)
    {
        QList<PivraProcess> runs;
        for (const PivraProcess& process : store.processes().finished()) {
            if (process.kind == PivraProcess::Kind::indexing) {
                runs.append(process);
            }
        }
        return runs;
    }
};

TEST_F(IndexingTest, SourceSummaryNamesFewSourcesAndCountsMany)
{
    EXPECT_EQ(LibraryStore::sourceSummary({}), QStringLiteral("No sources"));
    EXPECT_EQ(LibraryStore::sourceSummary({"Trip"}), QStringLiteral("Trip"));
    EXPECT_EQ(LibraryStore::sourceSummary({"Trip", "Home"}), QStringLiteral("Trip and Home"));
    EXPECT_EQ(LibraryStore::sourceSummary({"A", "B", "C", "D"}), QStringLiteral("4 sources"));
}

// The run is named source by source, and the count the sidebar shows
// ("Indexing 6 files") adds up the files of every source of the run.
TEST_F(IndexingTest, StartUpIndexesEachOnlineFolderOnceNamingEachInTurn)
{
    storeSources(encodeSources({photoFolder(QStringLiteral("A"), 3), photoFolder(QStringLiteral("B"), 1),
                                photoFolder(QStringLiteral("C"), 2)}));
    auto store = makeStore();
    QStringList details;
    QObject::connect(&store->processes(), &ProcessMonitor::runningChanged, [&] {
        // The location reading that follows the scan has a record of its own.
        for (const PivraProcess& process : store->processes().running()) {
            if (process.kind == PivraProcess::Kind::indexing && (details.isEmpty() || details.last() != process.detail)) {
                details.append(process.detail);
            }
        }
    });
    QList<int> counts;
    QObject::connect(store.get(), &LibraryStore::scannedCountChanged, store.get(),
                     [&] { counts.append(store->scannedCount()); });
    ASSERT_TRUE(drain());

    ASSERT_FALSE(counts.isEmpty());
    EXPECT_TRUE(std::is_sorted(counts.cbegin(), counts.cend())) << qPrintable(QDebug::toString(counts));
    EXPECT_EQ(counts.last(), 6);
    EXPECT_EQ(details,
              QStringList({"3 sources", "A \u00B7 1 of 3", "B \u00B7 2 of 3", "C \u00B7 3 of 3", "3 sources"}));
    const QList<PivraProcess> runs = indexingRuns(*store);
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].detail, QStringLiteral("3 sources"));
    EXPECT_EQ(runs[0].state, State::finished);
    EXPECT_EQ(runs[0].completed, 6);
    EXPECT_EQ(runs[0].failed, 0);
    EXPECT_EQ(store->totalCount(), 6);
    EXPECT_FALSE(store->isScanning());
    EXPECT_TRUE(store->scanningSourceIDs().isEmpty());
    EXPECT_EQ(store->indexedFolders().size(), 3);
    EXPECT_TRUE(store->unopenedFolders().isEmpty());
}

TEST_F(IndexingTest, AChangeDuringAScanRestartsItWithoutLosingRowsAndStopEndsARunAtOnce)
{
    const LibrarySource trip = photoFolder(QStringLiteral("Trip"), 250);
    storeSources(encodeSources({trip}));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->totalCount(), 250);

    // New photos arrive, and a change is seen while their scan runs.
    for (int index = 250; index < 300; ++index) {
        ASSERT_TRUE(test::makeJpeg(trip.lastKnownPath + QStringLiteral("/IMG_%1.jpg").arg(index), QSize(32, 24)));
    }
    store->rescan();
    QSignalSpy progress(store.get(), &LibraryStore::scannedCountChanged);
    ASSERT_TRUE(progress.wait());
    store->rescan();
    ASSERT_TRUE(drain());
    QList<PivraProcess> runs = indexingRuns(*store);
    ASSERT_EQ(runs.size(), 3);
    EXPECT_EQ(runs[1].state, State::stopped);
    EXPECT_EQ(runs[0].state, State::finished);
    EXPECT_EQ(runs[0].completed, 300);
    EXPECT_EQ(store->totalCount(), 300);

    // Stop: the record ends at once, and the stopped task starts nothing.
    const int thumbnailRuns = store->thumbnailGeneration();
    QSignalSpy recorded(&store->processes(), &ProcessMonitor::runningChanged);
    store->rescan();
    ASSERT_TRUE(recorded.wait()); // once access is settled, the run has its record
    store->cancelScan();
    EXPECT_FALSE(store->isScanning());
    EXPECT_TRUE(store->scanningSourceIDs().isEmpty());
    EXPECT_TRUE(store->processes().running().isEmpty());
    ASSERT_TRUE(drain());
    runs = indexingRuns(*store);
    EXPECT_EQ(runs[0].state, State::stopped);
    EXPECT_EQ(store->thumbnailGeneration(), thumbnailRuns);
    EXPECT_EQ(store->totalCount(), 300);
}

// A rescan that wrote nothing leaves the gallery's list alone: a large
// library's list is neither read nor published again. One that wrote does.
TEST_F(IndexingTest, OnlyARescanThatChangedTheCatalogPublishesANewList)
{
    const LibrarySource trip = photoFolder(QStringLiteral("Trip"), 5);
    storeSources(encodeSources({trip}));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->totalCount(), 5);
    // What follows a first scan (the locations read from the new rows) has
    // written by the end of the next one.
    store->rescan();
    ASSERT_TRUE(drain());
    const MediaItems shown = store->items();
    QSignalSpy published(store.get(), &LibraryStore::itemsVersionChanged);

    store->rescan();
    ASSERT_TRUE(drain());
    EXPECT_EQ(indexingRuns(*store).size(), 3);
    EXPECT_EQ(published.count(), 0);
    EXPECT_EQ(store->items(), shown);

    ASSERT_TRUE(test::makeJpeg(trip.lastKnownPath + QStringLiteral("/IMG_new.jpg"), QSize(32, 24)));
    store->rescan();
    ASSERT_TRUE(drain());
    EXPECT_GE(published.count(), 1);
    EXPECT_EQ(store->items()->size(), 6);
    EXPECT_EQ(store->totalCount(), 6);
}

// A run that ends before its folder is done, stopped by the user or failed on
// a catalog another program holds locked, leaves the batches it committed in
// the catalog: the gallery shows and counts them, as no later scan writes
// them again to tell it.
TEST_F(IndexingTest, ARunEndedEarlyShowsAndCountsTheRowsItCommitted)
{
    const LibrarySource trip = photoFolder(QStringLiteral("Trip"), 600);
    struct Ending {
        const char* name;
        bool stop; // else the catalog is locked from the first batch on
    };
    for (const Ending& ending : {Ending{"stopped", true}, Ending{"failed", false}}) {
        SCOPED_TRACE(ending.name);
        catalogPath_ = pathOf(QString::fromLatin1(ending.name) + u".sqlite");
        storeSources(encodeSources({trip}));
        sqlite::Connection other;
        auto store = makeStore();
        // Straight from the progress report, before the next batch is written.
        QObject::connect(store.get(), &LibraryStore::scannedCountChanged, store.get(), [&] {
            if (store->scannedCount() == 0) {
                return;
            }
            if (ending.stop) {
                store->cancelScan();
            } else if (!other) {
                sqlite3* raw = nullptr;
                ASSERT_EQ(sqlite3_open(QFile::encodeName(catalogPath_).constData(), &raw), SQLITE_OK);
                other.reset(raw);
                sqlite::exec(raw, "BEGIN EXCLUSIVE");
            }
        });
        QObject::connect(store.get(), &LibraryStore::messageChanged, store.get(), [&] { other.reset(); });
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->message().has_value(), !ending.stop);
        other.reset();

        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(catalogPath_).constData(), &raw, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        const sqlite::Connection reader(raw);
        sqlite::Statement count(raw, QStringLiteral("SELECT count(*) FROM media"));
        ASSERT_TRUE(count.nextRowChecked());
        const qint64 rows = count.int64(0);
        EXPECT_GT(rows, 0);
        EXPECT_LT(rows, 600);
        EXPECT_EQ(store->totalCount(), rows);
        EXPECT_EQ(qint64(store->items()->size()), rows);
    }
}

TEST_F(IndexingTest, AConnectedDeviceIsIndexedItsSourceFollowsItAndALockedOneKeepsItsRows)
{
    test::FakeCameraBackend fake;
    CameraSourceManager cameras(fake);
    auto store = makeStore({.cameras = &cameras});
    ASSERT_TRUE(drain());
    const CameraDeviceId device = fake.plug(QStringLiteral("SERIAL-1"), QStringLiteral("Ann's iPhone"));
    std::vector<test::FakeCameraBackend::File> files;
    for (const char* name : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}) {
        test::FakeCameraBackend::File file;
        file.info.folder = QStringLiteral("/store_00010001/DCIM/100APPLE");
        file.info.name = QString::fromLatin1(name);
        file.content = QByteArray(static_cast<int>(files.size()) + 1, 'x'); // not taken for copies of each other
        file.info.size = file.content.size();
        files.push_back(file);
    }
    fake.setFiles(device, files);
    ASSERT_EQ(store->availableCameras().size(), 1);

    store->addCamera(QStringLiteral("SERIAL-1"));
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->sources().size(), 1);
    const LibrarySource phone = store->sources().front();
    EXPECT_EQ(phone.name, QStringLiteral("Ann's iPhone"));
    EXPECT_EQ(store->selectedSourceID(), phone.id);
    EXPECT_EQ(store->totalCount(), 3);
    const QList<PivraProcess> runs = indexingRuns(*store);
    ASSERT_FALSE(runs.isEmpty());
    EXPECT_EQ(runs[0].detail, QStringLiteral("Ann's iPhone"));
    EXPECT_EQ(runs[0].completed, 3);
    EXPECT_EQ(runs[0].total, 3);
    store->addCamera(QStringLiteral("SERIAL-1")); // the same device again selects its source
    EXPECT_EQ(store->sources().size(), 1);

    // A locked phone shows no storage and publishes nothing: its rows stay.
    fake.lock(device);
    EXPECT_EQ(store->lockedCameraSourceIDs(), QSet<QUuid>{phone.id});
    store->rescan();
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->totalCount(), 3);

    fake.unplug(device);
    EXPECT_FALSE(store->sources().front().isOnline);
    EXPECT_EQ(store->sources().front().name, QStringLiteral("Ann's iPhone"));
    EXPECT_TRUE(store->availableCameras().isEmpty());
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
