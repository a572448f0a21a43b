#include "StoreTestKit.h"

#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "platform/folders/FolderAccess.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/VolumeFacts.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

namespace pivra {
namespace {

using namespace std::chrono_literals;

class FolderSourcesTest : public test::StoreTest {
protected:
    // A folder source as adding `path` records it.
    static LibrarySource sourceAt(const QString& path)
    {
        LibrarySource source;
        source.id = QUuid::createUuid();
        source.name = QFileInfo(path).fileName();
        source.bookmark = FolderBookmark::make(path)->encode();
        source.lastKnownPath = path;
        source.volumePath = volumeFacts(path)->rootPath;
        return source;
    }

    std::unique_ptr<LibraryStore> makeStore(LibraryServices services = {})
    {
        services.folderPicker = &picker_;
        return StoreTest::makeStore(std::move(services));
    }

    const LibrarySource& sourceNamed(const LibraryStore& store, const QString& name)
    {
        for (const LibrarySource& source : store.sources()) {
            if (source.name == name) {
                return source;
            }
        }
        ADD_FAILURE() << "no source " << qPrintable(name);
        return store.sources().front();
    }

    test::ScriptedFolderPicker picker_;
};

TEST_F(FolderSourcesTest, EachFolderSourceIsOnlineOnlyWhereItsFolderIsAndAskedAboutOnlyWhileItsDiskIsThere)
{
    const QString moved = makeFolder(QStringLiteral("Moved"));
    const QString gone = makeFolder(QStringLiteral("Gone"));
    LibrarySource unplugged = sourceAt(makeFolder(QStringLiteral("Unplugged")));
    unplugged.volumePath = makeFolder(QStringLiteral("media/disk")); // a mount folder left behind
    LibrarySource phone = test::folderSource(QStringLiteral("Phone"), true);
    phone.kind = LibrarySource::Kind::camera;
    const QList<LibrarySource> stored{sourceAt(makeFolder(QStringLiteral("Here"))), sourceAt(moved), sourceAt(gone),
                                      unplugged, phone};
    ASSERT_TRUE(QDir().rename(moved, pathOf(QStringLiteral("Renamed"))));
    ASSERT_TRUE(QDir(gone).removeRecursively());
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("Unplugged"))).removeRecursively());
    storeSources(encodeSources(stored));

    auto store = makeStore();
    struct Row {
        const char* name;
        bool online;
        QString path;
    };
    const Row rows[] = {
        {"Here", true, pathOf(QStringLiteral("Here"))},
        {"Moved", true, pathOf(QStringLiteral("Renamed"))},
        {"Gone", false, gone},
        {"Unplugged", false, pathOf(QStringLiteral("Unplugged"))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const LibrarySource& source = sourceNamed(*store, QString::fromLatin1(row.name));
        EXPECT_EQ(source.isOnline, row.online);
        EXPECT_EQ(source.lastKnownPath, row.path);
        EXPECT_EQ(store->activeAccess().contains(source.id), row.online);
        EXPECT_EQ(FolderAccess::held(row.path), row.online ? 1 : 0);
    }
    // The moved folder's new place is saved.
    const auto saved = decodeSources(AppSettings().value(LibraryStore::sourcesKey).toByteArray());
    ASSERT_TRUE(saved);
    EXPECT_EQ(FolderBookmark::decode((*saved)[1].bookmark)->path(), pathOf(QStringLiteral("Renamed")));
    // Only the folder whose disk is still there is worth a question.
    EXPECT_EQ(store->permissionNeededIDs(), QList<QUuid>{stored[2].id});
    EXPECT_EQ(store->permissionRequestSourceID(), stored[2].id);

    // A second pass over nothing changed starts no access again and keeps
    // the watcher; a camera keeps its state.
    const SourceWatcher* watcher = store->watcher();
    const QStringList watched = store->watchedPaths();
    ASSERT_TRUE(drain()); // the start-up rescan
    QList<LibrarySource> withPhone = store->sources();
    withPhone[4].isOnline = true;
    store->setSources(withPhone);
    store->rescan();
    EXPECT_TRUE(store->sources()[4].isOnline);
    EXPECT_EQ(FolderAccess::held(pathOf(QStringLiteral("Here"))), 1);
    EXPECT_EQ(store->watcher(), watcher);
    EXPECT_EQ(store->watchedPaths(), watched);
    EXPECT_EQ(watched, QStringList({pathOf(QStringLiteral("Here")), pathOf(QStringLiteral("Renamed"))}));
    ASSERT_TRUE(drain());
}

TEST_F(FolderSourcesTest, AStandInDiskGoingAwayTakesItsSourceOfflineUnaskedAndComingBackBringsItOnline)
{
    const QString disk = makeFolder(QStringLiteral("disk"));
    if (mount("pivra-stand-in", QFile::encodeName(disk).constData(), "tmpfs", 0, nullptr) != 0) {
        GTEST_SKIP() << "cannot mount here: " << strerror(errno);
    }
    const auto unmount = [&] { umount2(QFile::encodeName(disk).constData(), MNT_DETACH); };
    const QString photos = disk + QStringLiteral("/Photos");
    ASSERT_TRUE(QDir().mkdir(photos));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    picker_.answers.push_back(QStringList{photos});
    store->addFolders();
    const QUuid id = store->sources().front().id;
    EXPECT_EQ(store->sources().front().volumePath, disk);
    EXPECT_EQ(store->watchedPaths(), QStringList{photos});

    unmount();
    ASSERT_TRUE(QDir().mkdir(photos)); // the same path, now on the disk below
    store->rescan();
    EXPECT_FALSE(store->sources().front().isOnline);
    EXPECT_TRUE(store->permissionNeededIDs().isEmpty());
    EXPECT_TRUE(store->activeAccess().isEmpty());
    EXPECT_TRUE(store->watchedPaths().isEmpty());
    ASSERT_TRUE(QDir(photos).removeRecursively());

    ASSERT_EQ(mount("pivra-stand-in", QFile::encodeName(disk).constData(), "tmpfs", 0, nullptr), 0);
    ASSERT_TRUE(QDir().mkdir(photos));
    store->rescan();
    EXPECT_TRUE(store->sources().front().isOnline);
    EXPECT_EQ(store->activeAccess().value(id).path, photos);
    ASSERT_TRUE(drain());
    store.reset();
    unmount();
}

TEST_F(FolderSourcesTest, AddingSkipsKnownAndUnusableFoldersSavesTheRestAndACancelChangesNothing)
{
    const QString trip = makeFolder(QStringLiteral("Trip"));
    const QString home = makeFolder(QStringLiteral("Home"));
    const QString file = writeFile(QStringLiteral("notes.txt"), "x");
    auto store = makeStore();
    ASSERT_TRUE(drain());
    const int generation = store->scanGeneration();

    picker_.answers.push_back(std::nullopt);
    store->addFolders();
    EXPECT_EQ(store->scanGeneration(), generation);
    EXPECT_TRUE(store->sources().isEmpty());

    picker_.answers.push_back(QStringList{trip, file, home, trip});
    store->addFolders();
    EXPECT_EQ(picker_.severalAllowed.last(), true);
    EXPECT_EQ(store->message(), QStringLiteral("Could not save access to notes.txt."));
    EXPECT_EQ(store->scanGeneration(), generation + 1);
    ASSERT_EQ(store->sources().size(), 2);
    EXPECT_EQ(store->selectedSourceID(), sourceNamed(*store, QStringLiteral("Home")).id);
    const auto saved = decodeSources(AppSettings().value(LibraryStore::sourcesKey).toByteArray());
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->size(), 2);
    EXPECT_EQ((*saved)[0].lastKnownPath, trip);
    EXPECT_EQ((*saved)[1].volumePath, volumeFacts(home)->rootPath);
    ASSERT_TRUE(drain());
}

TEST_F(FolderSourcesTest, AnsweringTheAccessQuestionReconnectsOrDismissesAndMovesOn)
{
    QList<LibrarySource> lost;
    for (const char* name : {"First", "Second", "Third"}) {
        const QString folder = makeFolder(QString::fromLatin1(name));
        lost.append(sourceAt(folder));
        ASSERT_TRUE(QDir(folder).removeRecursively());
    }
    storeSources(encodeSources(lost));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->permissionRequestSourceID(), lost[0].id);
    EXPECT_EQ(store->permissionRequestSourceName(), QStringLiteral("First"));

    // Choosing a folder that is no folder fails; the source is not asked
    // about again, even after a rescan queues it anew.
    picker_.answers.push_back(QStringList{writeFile(QStringLiteral("file"), "x")});
    store->resolvePermissionRequest(true);
    EXPECT_EQ(picker_.questions.last(), QStringLiteral("Choose the folder for First."));
    EXPECT_EQ(store->message(), QStringLiteral("Could not reconnect this folder."));
    EXPECT_EQ(store->permissionRequestSourceID(), lost[1].id);

    // A folder that can be read brings the source back under its new name.
    const QString found = makeFolder(QStringLiteral("Found"));
    picker_.answers.push_back(QStringList{found});
    store->resolvePermissionRequest(true);
    const LibrarySource& second = store->sources()[1];
    EXPECT_TRUE(second.isOnline);
    EXPECT_EQ(second.name, QStringLiteral("Found"));
    EXPECT_EQ(FolderAccess::held(found), 1);
    EXPECT_FALSE(store->dismissedPermissionIDs().contains(second.id));
    EXPECT_EQ(store->permissionRequestSourceID(), lost[2].id);

    store->removeSource(lost[2].id, {});
    EXPECT_EQ(store->permissionRequestSourceName(), QStringLiteral("this source"));
    store->resolvePermissionRequest(false);
    store->resolvePermissionRequest(false); // nothing is pending
    ASSERT_TRUE(drain());
    store->rescan();
    EXPECT_EQ(store->permissionNeededIDs(), QList<QUuid>{lost[0].id});
    EXPECT_FALSE(store->permissionRequestSourceID().has_value());
    ASSERT_TRUE(drain());
}

TEST_F(FolderSourcesTest, RemovalDeletesOnlyTheFilesOfKeysNoOtherSourceHasTakenUpMeanwhile)
{
    const ThumbnailLocations locations =
        ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache")));
    ThumbnailStore thumbnails(locations, std::make_shared<ThumbnailRenderer>());
    VideoPreviewStore previews(pathOf(QStringLiteral("clips")));
    const QString own(64, u'a'), shared(64, u'b');
    for (const QString& key : {own, shared}) {
        writeFile(QDir(root()).relativeFilePath(locations.gridFile(key)), "jpeg");
        writeFile(QDir(root()).relativeFilePath(previews.clipFile(key)), "clip");
    }
    const LibrarySource trip = sourceAt(makeFolder(QStringLiteral("Trip")));
    const LibrarySource home = sourceAt(makeFolder(QStringLiteral("Home")));
    {
        const MediaCatalog schema(catalogPath_); // let go before the store opens it
    }
    test::MediaRowWriter rows(catalogPath_);
    for (const QString& key : {own, shared}) {
        test::MediaRow row = test::folderRow(trip.id, key.left(1) + u".jpg");
        row.thumbnailKey = key;
        rows.insert(row);
    }
    storeSources(encodeSources({trip, home}));
    auto store = makeStore({.thumbnails = &thumbnails, .previews = &previews});
    ASSERT_TRUE(drain());
    store->selectFolder(trip.id, QStringLiteral("2020"));

    RemovalFootprint footprint;
    startTask(store.get(), [](LibraryStore* s, QUuid id, RemovalFootprint* out) -> Task<> {
        *out = co_await s->removableThumbnails(id);
    }(store.get(), trip.id, &footprint));
    ASSERT_TRUE(drain());
    EXPECT_EQ(footprint.count, 2);
    EXPECT_EQ(footprint.previews, 2);
    EXPECT_GT(footprint.bytes, 0);

    // The other source comes to hold the same content before the removal runs.
    test::MediaRow copy = test::folderRow(home.id, QStringLiteral("copy.jpg"));
    copy.thumbnailKey = shared;
    rows.insert(copy);
    const int generation = store->scanGeneration();
    store->removeSource(trip.id, footprint.keys);
    EXPECT_EQ(store->sources().size(), 1);
    EXPECT_FALSE(store->selectedSourceID().has_value());
    EXPECT_FALSE(store->selectedFolderPath().has_value());
    EXPECT_EQ(FolderAccess::held(trip.lastKnownPath), 0);
    ASSERT_TRUE(drain());

    EXPECT_FALSE(QFile::exists(locations.gridFile(own)));
    EXPECT_FALSE(QFile::exists(previews.clipFile(own)));
    EXPECT_TRUE(QFile::exists(locations.gridFile(shared)));
    EXPECT_TRUE(QFile::exists(previews.clipFile(shared)));
    EXPECT_EQ(store->scanGeneration(), generation + 1); // the closing rescan
    store.reset();
    EXPECT_EQ(MediaCatalog(catalogPath_).thumbnailStatuses().value(trip.id).total, 0);
}

TEST_F(FolderSourcesTest, ABurstOfChangesInAWatchedFolderRescansOnceAndTheHiddenFolderNever)
{
    const QString trip = makeFolder(QStringLiteral("Trip"));
    storeSources(encodeSources({sourceAt(trip)}));
    auto store = makeStore({.watchTiming = {50ms, 200ms}});
    ASSERT_TRUE(drain());
    ASSERT_NE(store->watcher(), nullptr); // and its first watches are set

    const auto rescansAfter = [&](const std::function<void()>& change) {
        const int generation = store->scanGeneration();
        change();
        QTest::qWait(800);
        return store->scanGeneration() - generation;
    };
    EXPECT_EQ(rescansAfter([&] {
                  for (int index = 0; index < 100; ++index) {
                      writeFile(QStringLiteral("Trip/new/%1.jpg").arg(index), "x");
                  }
              }),
              1);
    EXPECT_EQ(rescansAfter([&] { writeFile(QStringLiteral("Trip/.pivra/thumbnails/a.jpg"), "x"); }), 0);
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
