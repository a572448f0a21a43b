#include "StoreTestKit.h"

#include "media/camera/CameraSourceManager.h"
#include "platform/runtime/Drain.h"
#include "platform/folders/MountMonitor.h"
#include "support/fakes/FakeCameraBackend.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using test::folderSource;

class LibraryStoreSelectionTest : public test::StoreTest {};

QUuid createAlbum(const QString& catalogPath)
{
    return MediaCatalog(catalogPath).createAlbum(QStringLiteral("Summer"));
}

TEST_F(LibraryStoreSelectionTest, EachViewSetsItsFieldsAndStartsItsQuery)
{
    const QUuid album = createAlbum(catalogPath_);
    const QUuid source = QUuid::createUuid();
    struct Row {
        const char* name;
        std::function<void(LibraryStore&)> select;
        bool favorites, albums, map;
        std::optional<QUuid> sourceID;
        std::optional<QString> folder;
        std::optional<QUuid> albumID;
        bool keepsSearch, keepsFilter, emptiesItems;
        int generationSteps; // its own and its reload's
    };
    const Row rows[] = {
        {"source", [&](LibraryStore& s) { s.selectSource(source); }, false, false, false, source, {}, {}, true, true, false, 1},
        {"all sources", [](LibraryStore& s) { s.selectSource(std::nullopt); }, false, false, false, {}, {}, {}, true, true, false, 1},
        {"folder", [&](LibraryStore& s) { s.selectFolder(source, QStringLiteral("2020")); }, false, false, false, source,
         QStringLiteral("2020"), {}, true, true, false, 1},
        {"favourites", [](LibraryStore& s) { s.selectFavorites(); }, true, false, false, {}, {}, {}, true, true, false, 1},
        {"albums", [](LibraryStore& s) { s.selectAlbums(); }, false, true, false, {}, {}, {}, false, true, true, 1},
        {"map", [](LibraryStore& s) { s.selectMap(); }, false, false, true, {}, {}, {}, false, true, true, 2},
        {"album", [&](LibraryStore& s) { s.selectAlbum(album); }, false, false, false, {}, {}, album, false, false, false, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto store = makeStore();
        ASSERT_TRUE(drain());
        store->selectFolder(QUuid::createUuid(), QStringLiteral("old"));
        store->setSearch(QStringLiteral("beach"));
        store->setFilter(MediaFilter::videos);
        ASSERT_TRUE(drain());
        const int generation = store->queryGeneration();
        const int version = store->itemsVersion();

        QSignalSpy albumsShown(store.get(), &LibraryStore::showsAlbumsChanged);
        row.select(*store);
        EXPECT_EQ(albumsShown.count(), 1); // every view writes every flag
        EXPECT_EQ(store->itemsVersion(), version + (row.emptiesItems ? 1 : 0));
        if (row.albums) {
            EXPECT_EQ(store->totalCount(), 1); // the albums known already, before the refresh
        }
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->showsFavorites(), row.favorites);
        EXPECT_EQ(store->showsAlbums(), row.albums);
        EXPECT_EQ(store->showsMap(), row.map);
        EXPECT_EQ(store->selectedSourceID(), row.sourceID);
        EXPECT_EQ(store->selectedFolderPath(), row.folder);
        EXPECT_EQ(store->selectedAlbumID(), row.albumID);
        EXPECT_EQ(store->search(), row.keepsSearch ? QStringLiteral("beach") : QString());
        EXPECT_EQ(store->filter(), row.keepsFilter ? MediaFilter::videos : MediaFilter::all);
        EXPECT_EQ(store->queryGeneration(), generation + row.generationSteps);
    }
}

TEST_F(LibraryStoreSelectionTest, AnUnknownAlbumChangesNothing)
{
    createAlbum(catalogPath_);
    auto store = makeStore();
    ASSERT_TRUE(drain());
    const int generation = store->queryGeneration();
    QSignalSpy flags(store.get(), &LibraryStore::showsFavoritesChanged);
    store->selectAlbum(QUuid::createUuid());
    ASSERT_TRUE(drain());
    EXPECT_EQ(flags.count(), 0);
    EXPECT_EQ(store->queryGeneration(), generation);
}

TEST_F(LibraryStoreSelectionTest, CameraSourcesAreWatchedAtLaunch)
{
    test::FakeCameraBackend fake;
    CameraSourceManager cameras(fake);
    const CameraDeviceId device = fake.plug(QStringLiteral("SERIAL-1"));
    const CameraDeviceId other = fake.plug(QStringLiteral("SERIAL-2"));
    LibrarySource phone = folderSource(QStringLiteral("Phone"), false);
    phone.kind = LibrarySource::Kind::camera;
    phone.deviceID = QStringLiteral("SERIAL-1");
    LibrarySource named = folderSource(QStringLiteral("SERIAL-2"), false); // a folder, whatever its name
    storeSources(encodeSources({phone, named}));

    auto store = makeStore({.cameras = &cameras});
    EXPECT_EQ(fake.sessionRequests(device), 1);
    EXPECT_EQ(fake.sessionRequests(other), 0);
    ASSERT_TRUE(drain());
}

TEST_F(LibraryStoreSelectionTest, EveryVolumeChangeRescans)
{
    const QString table = writeFile(QStringLiteral("mountinfo"), "26 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
    MountMonitor mounts(table);
    auto store = makeStore({.mounts = &mounts});
    ASSERT_TRUE(drain());
    const int scans = store->scanGeneration();

    for (const QByteArray& line : {QByteArray("90 27 8:17 / /media/ann/STICK rw - vfat /dev/sdb1 rw\n"),
                                   QByteArray()}) {
        QFile file(table);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("26 1 8:1 / / rw - ext4 /dev/sda1 rw\n" + line);
        file.close();
        mounts.recheck();
    }
    EXPECT_EQ(store->scanGeneration(), scans); // each rescan starts in a turn of its own
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->scanGeneration(), scans + 2);
}

} // namespace
} // namespace pivra
