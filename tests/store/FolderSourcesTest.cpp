#include "StoreTestKit.h"

#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "platform/folders/FolderAccess.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/MountMonitor.h"
#include "platform/folders/VolumeFacts.h"

#include "media/metadata/MetadataInspector.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/files/JpegMaker.h"
#include "support/ParamNames.h"
#include "support/system/TestMounts.h"
#include "support/system/WatchSettling.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <ostream>
#include <utility>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// What the catalog holds of a source: its rows, favourites and album links.
struct Holdings {
    int rows = 0;
    int favorites = 0;
    int albumLinks = 0;
    bool operator==(const Holdings&) const = default;
};

void PrintTo(const Holdings& holdings, std::ostream* out)
{
    *out << holdings.rows << " rows, " << holdings.favorites << " favourites, " << holdings.albumLinks
         << " album links";
}

class FolderSourcesTest : public test::StoreTest {
protected:
    std::unique_ptr<LibraryStore> makeStore(LibraryServices services = {})
    {
        services.folderPicker = &picker_;
        return StoreTest::makeStore(std::move(services));
    }

    static ino_t inodeOf(const QString& path)
    {
        struct stat values {};
        return stat(QFile::encodeName(path).constData(), &values) == 0 ? values.st_ino : 0;
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

    // The rows, favourites and album links of a source, read straight from
    // the catalog file.
    Holdings holdingsOf(const QUuid& id) const
    {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(QFile::encodeName(catalogPath_).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        const auto count = [&](const char* sql) {
            sqlite3_stmt* statement = nullptr;
            int value = -1;
            if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
                const QByteArray source = id.toString(QUuid::WithoutBraces).toUpper().toUtf8();
                sqlite3_bind_text(statement, 1, source.constData(), -1, SQLITE_TRANSIENT);
                value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
            }
            sqlite3_finalize(statement);
            return value;
        };
        const Holdings holdings{
            count("SELECT count(*) FROM media WHERE source_id=?"),
            count("SELECT count(*) FROM media WHERE source_id=? AND is_favorite=1"),
            count("SELECT count(*) FROM album_media JOIN media ON media.id=album_media.media_id WHERE source_id=?")};
        sqlite3_close(db);
        return holdings;
    }

    // What storeWithMarkedSource() gives its source.
    static constexpr Holdings marked{3, 1, 1};

    // A store whose first source is the folder `photos`, made with three
    // photos of sizes of their own (files of whole-second times would be
    // copies otherwise), one of them a favourite and one in an album.
    std::unique_ptr<LibraryStore> storeWithMarkedSource(const QString& photos, LibraryServices services = {})
    {
        EXPECT_TRUE(QDir().mkpath(photos));
        for (int index = 0; index < 3; ++index) {
            EXPECT_TRUE(test::makeJpeg(photos + QStringLiteral("/IMG_%1.jpg").arg(index), QSize(32 + index, 24)));
        }
        services.inspector = std::make_shared<MetadataInspector>();
        auto store = makeStore(std::move(services));
        EXPECT_TRUE(drain());
        picker_.answers.push_back(QStringList{photos});
        store->addFolders();
        EXPECT_TRUE(drain());
        if (store->sources().isEmpty() || store->items()->size() != 3u) {
            ADD_FAILURE() << "the source was not indexed";
            return store;
        }
        store->toggleFavorite(store->items()->front().id());
        store->createAlbum(QStringLiteral("Trip"), store->items()->back().id());
        EXPECT_TRUE(drain());
        EXPECT_EQ(holdingsOf(store->sources().front().id), marked);
        return store;
    }

    // The source of storeWithMarkedSource() online with all it held, and no
    // question about it.
    void expectBackWithEverything(const LibraryStore& store)
    {
        EXPECT_TRUE(store.sources().front().isOnline);
        EXPECT_FALSE(store.permissionRequestSourceID().has_value());
        EXPECT_EQ(holdingsOf(store.sources().front().id), marked);
        EXPECT_EQ(store.items()->size(), 3u);
    }

    test::ScriptedFolderPicker picker_;
};

TEST_F(FolderSourcesTest, EachFolderSourceIsOnlineOnlyWhereItsFolderIsAndAskedAboutOnlyWhileItsDiskIsThere)
{
    const QString moved = makeFolder(QStringLiteral("Moved"));
    const QString gone = makeFolder(QStringLiteral("Gone"));
    const QString anew = makeFolder(QStringLiteral("Anew"));
    LibrarySource unplugged = test::folderSourceAt(makeFolder(QStringLiteral("Unplugged")));
    unplugged.volumePath = makeFolder(QStringLiteral("media/disk")); // a mount folder left behind
    LibrarySource phone = test::folderSource(QStringLiteral("Phone"), true);
    phone.kind = LibrarySource::Kind::camera;
    const QList<LibrarySource> stored{test::folderSourceAt(makeFolder(QStringLiteral("Here"))), test::folderSourceAt(moved), test::folderSourceAt(gone),
                                      unplugged, phone, test::folderSourceAt(anew)};
    ASSERT_TRUE(QDir().rename(moved, pathOf(QStringLiteral("Renamed"))));
    ASSERT_TRUE(QDir(gone).removeRecursively());
    // Made anew at the same path: another folder, not the source's.
    ASSERT_TRUE(QDir(anew).removeRecursively());
    ASSERT_TRUE(QDir().mkdir(anew));
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("Unplugged"))).removeRecursively());
    storeSources(encodeSources(stored));

    auto store = makeStore();
    ASSERT_TRUE(drain());
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
        {"Anew", false, anew},
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
    const auto saved = decodeSources(AppSettings().value(LibraryStore::sourcesKey).toByteArray()).sources;
    ASSERT_GE(saved.size(), 2);
    EXPECT_EQ(FolderBookmark::decode(saved[1].bookmark)->path(), pathOf(QStringLiteral("Renamed")));
    // Only the folders whose disk is still there are worth a question.
    EXPECT_EQ(store->permissionNeededIDs(), QList<QUuid>({stored[2].id, stored[5].id}));
    EXPECT_EQ(store->permissionRequestSourceID(), stored[2].id);

    // A second pass over nothing changed starts no access again, keeps the
    // watcher and leaves the settings file as it was; a camera keeps its
    // state.
    const SourceWatcher* watcher = store->watcher();
    const QStringList watched = store->watchedPaths();
    const ino_t settingsFile = inodeOf(AppSettings().fileName());
    QList<LibrarySource> withPhone = store->sources();
    withPhone[4].isOnline = true;
    store->setSources(withPhone);
    store->rescan();
    ASSERT_TRUE(drain());
    EXPECT_EQ(inodeOf(AppSettings().fileName()), settingsFile);
    EXPECT_TRUE(store->sources()[4].isOnline);
    EXPECT_EQ(FolderAccess::held(pathOf(QStringLiteral("Here"))), 1);
    EXPECT_EQ(store->watcher(), watcher);
    EXPECT_EQ(store->watchedPaths(), watched);
    EXPECT_EQ(watched, QStringList({pathOf(QStringLiteral("Here")), pathOf(QStringLiteral("Renamed"))}));
}

// The disk a source was added on goes, another takes its place at the same
// mount point with a folder at the same path, and the first comes back.
struct DiskSwap {
    const char* name;
    // Mounts the source's disk at `point`, again after `goAway`.
    std::function<bool(test::TestMounts&, const QString& point)> mountOriginal;
    std::function<bool(test::TestMounts&, const QString& point)> goAway;
    std::function<bool(test::TestMounts&, const QString& point)> mountOther;
};

TEST_F(FolderSourcesTest, ASourceNeverTakesOverAnotherDiskAndComesBackWithEverythingWhenItsOwnReturns)
{
    const QString keep = pathOf(QStringLiteral("keep"));
    const QString imageA = pathOf(QStringLiteral("a.img"));
    const QString imageB = pathOf(QStringLiteral("b.img"));
    const DiskSwap swaps[] = {
        // A tmpfs is kept alive through a second mount of it while it is away.
        {"tmpfs",
         [&](test::TestMounts& mounts, const QString& point) {
             return QFileInfo::exists(keep) ? mounts.bind(keep, point)
                                            : mounts.mountTmpfs(point, QStringLiteral("pivra-disk"))
                                                  && QDir().mkpath(keep) && mounts.bind(point, keep);
         },
         [](test::TestMounts& mounts, const QString& point) { return mounts.unmount(point); },
         [](test::TestMounts& mounts, const QString& point) {
             return mounts.mountTmpfs(point, QStringLiteral("pivra-disk"));
         }},
        {"ext4",
         [&](test::TestMounts& mounts, const QString& point) {
             if (!QFileInfo::exists(imageA)
                 && !mounts.makeExt4Image(imageA, QStringLiteral("8a7e3b52-58a4-4f3c-9a51-3f1c2f1e0a01"))) {
                 return false;
             }
             const std::optional<QString> device = mounts.attach(imageA);
             return device && mounts.mountExt4(*device, point);
         },
         [](test::TestMounts& mounts, const QString& point) { return mounts.unmount(point); },
         [&](test::TestMounts& mounts, const QString& point) {
             const std::optional<QString> device =
                 mounts.makeExt4Image(imageB, QStringLiteral("0d6f1c9e-2b7a-4c55-8f0e-7c2a9b3d4e02"))
                     ? mounts.attach(imageB)
                     : std::nullopt;
             return device && mounts.mountExt4(*device, point);
         }},
    };
    for (const DiskSwap& swap : swaps) {
        SCOPED_TRACE(swap.name);
        test::TestMounts mounts;
        const QString disk = makeFolder(QString::fromLatin1(swap.name));
        if (!swap.mountOriginal(mounts, disk)) {
            GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
        }
        const QString photos = disk + QStringLiteral("/Photos");
        auto store = storeWithMarkedSource(photos);
        ASSERT_FALSE(HasFailure());
        const QUuid id = store->sources().front().id;

        QSignalSpy asked(store.get(), &LibraryStore::permissionRequestSourceIDChanged);
        ASSERT_TRUE(swap.goAway(mounts, disk));
        ASSERT_TRUE(swap.mountOther(mounts, disk)) << qPrintable(mounts.failure());
        ASSERT_TRUE(QDir().mkdir(photos));
        ASSERT_TRUE(test::makeJpeg(photos + QStringLiteral("/OTHER.jpg"), QSize(24, 32)));
        for (int pass = 0; pass < 2; ++pass) {
            store->rescan();
            ASSERT_TRUE(drain());
            EXPECT_FALSE(store->sources().front().isOnline);
            EXPECT_TRUE(store->activeAccess().isEmpty());
            EXPECT_EQ(holdingsOf(id), marked);
        }
        EXPECT_EQ(store->permissionRequestSourceID(), id);
        EXPECT_EQ(asked.count(), 1); // asked once, not at every pass

        // Until the user says otherwise, only its own disk brings it back.
        ASSERT_TRUE(swap.goAway(mounts, disk));
        ASSERT_TRUE(swap.mountOriginal(mounts, disk)) << qPrintable(mounts.failure());
        store->rescan();
        ASSERT_TRUE(drain());
        expectBackWithEverything(*store);
        store->removeSource(id, {});
        ASSERT_TRUE(drain());
    }
}

// A disk pulled and plugged back while the program runs, nothing asked of it:
// a tmpfs kept alive elsewhere while it is away, and an ext4 image on a loop
// device, plugged back at its own mount point and at another one.
TEST_F(FolderSourcesTest, ASourceOnAnyMountGoesOfflineAtItsUnmountAndComesBackWithEverythingAtItsRemount)
{
    const QString keep = pathOf(QStringLiteral("keep"));
    const QString image = pathOf(QStringLiteral("disk.img"));
    const QString otherImage = pathOf(QStringLiteral("other.img"));
    std::optional<QString> device;
    std::optional<QString> otherDevice;
    const struct {
        const char* name;
        std::function<bool(test::TestMounts&, const QString& point)> plug; // the first time and again
    } disks[] = {
        {"tmpfs",
         [&](test::TestMounts& mounts, const QString& point) {
             return QFileInfo::exists(keep) ? mounts.bind(keep, point)
                                            : mounts.mountTmpfs(point, QStringLiteral("pivra-tmpfs"))
                                                  && QDir().mkpath(keep) && mounts.bind(point, keep);
         }},
        {"loop-mounted ext4",
         [&](test::TestMounts& mounts, const QString& point) {
             if (!device && mounts.makeExt4Image(image, QStringLiteral("5b0e7d3c-1f42-4e8a-9c6d-2a7b8e9f0c13"))) {
                 device = mounts.attach(image);
             }
             return device && mounts.mountExt4(*device, point);
         }},
        {"loop-mounted ext4 at another mount point",
         [&, plugs = 0](test::TestMounts& mounts, const QString& point) mutable {
             if (!otherDevice && mounts.makeExt4Image(otherImage, QStringLiteral("c3d9a1e4-7b20-4f6e-8a15-9e0b2d4c6f24"))) {
                 otherDevice = mounts.attach(otherImage);
             }
             const QString at = plugs++ == 0 ? point : point + QStringLiteral(" elsewhere");
             return otherDevice && QDir().mkpath(at) && mounts.mountExt4(*otherDevice, at);
         }},
    };
    MountMonitor monitor;
    for (const auto& disk : disks) {
        SCOPED_TRACE(disk.name);
        test::TestMounts mounts;
        const QString point = makeFolder(QString::fromLatin1(disk.name));
        if (!disk.plug(mounts, point)) {
            GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
        }
        const QString photos = point + QStringLiteral("/Photos");
        auto store = storeWithMarkedSource(photos, {.mounts = &monitor});
        ASSERT_FALSE(HasFailure());
        const QUuid id = store->sources().front().id;
        const auto online = [&] { return store->sources().front().isOnline; };

        // The unmount is seen at once, but a loaded machine may take its time
        // to get there: what counts is the state it ends in.
        ASSERT_TRUE(mounts.unmount(point));
        EXPECT_TRUE(test::EventLoopWatch().waitFor([&] { return !online(); }, 120'000));
        ASSERT_TRUE(drain());
        EXPECT_FALSE(online());
        EXPECT_FALSE(store->permissionRequestSourceID().has_value()); // a pulled disk is no question
        EXPECT_EQ(holdingsOf(id), marked);

        ASSERT_TRUE(disk.plug(mounts, point)) << qPrintable(mounts.failure());
        EXPECT_TRUE(test::EventLoopWatch().waitFor(online, 120'000));
        ASSERT_TRUE(drain());
        expectBackWithEverything(*store);
        store->removeSource(id, {});
        ASSERT_TRUE(drain());
    }
}

// Two disks without a UUID whose folders have no birth time, swapped at one
// mount point on one loop device: nothing tells them apart, so neither is
// taken for the source until the user says which is its own, and the user is
// asked that once. Also where the kernel has no unique mount ids (before
// Linux 6.8) and gives the swapped disk's mount the id the first one had.
class UnprovenDiskTest : public FolderSourcesTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        FolderSourcesTest::SetUp();
        useUniqueMountIds(GetParam());
    }
    void TearDown() override
    {
        useUniqueMountIds(true);
        FolderSourcesTest::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(MountIds, UnprovenDiskTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Unique" : "Reusable"; });

TEST_P(UnprovenDiskTest, ADiskNothingTellsFromAnotherIsTakenBackOnlyWhenTheUserChoosesItAndIsAskedAboutOnce)
{
    test::TestMounts mounts;
    const QString point = makeFolder(QStringLiteral("disk"));
    const QString imageA = pathOf(QStringLiteral("a.img"));
    const QString imageB = pathOf(QStringLiteral("b.img"));
    std::optional<QString> device;
    if (!mounts.makeExt4Image(imageA, QStringLiteral("clear"), false)
        || !mounts.makeExt4Image(imageB, QStringLiteral("clear"), false) || !(device = mounts.attach(imageB))
        || !mounts.mountExt4(*device, point)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const QString photos = point + QStringLiteral("/Photos");
    ASSERT_TRUE(QDir().mkdir(photos));
    ASSERT_TRUE(test::makeJpeg(photos + QStringLiteral("/OTHER.jpg"), QSize(24, 32)));
    const auto plug = [&](const QString& image) {
        return mounts.unmount(point) && (device = mounts.replaceImage(*device, image))
               && mounts.mountExt4(*device, point);
    };
    ASSERT_TRUE(plug(imageA)) << qPrintable(mounts.failure());
    auto store = storeWithMarkedSource(photos);
    ASSERT_FALSE(HasFailure());
    const QUuid id = store->sources().front().id;
    int questions = 0;
    QObject::connect(store.get(), &LibraryStore::permissionRequestSourceIDChanged, store.get(),
                     [&] { questions += store->permissionRequestSourceID().has_value() ? 1 : 0; });

    // Held on its own mount the whole time, the folder stays online.
    store->rescan();
    ASSERT_TRUE(drain());
    ASSERT_TRUE(store->sources().front().isOnline);

    // The other disk, then its own again: neither is proof.
    for (const QString& image : {imageB, imageA}) {
        ASSERT_TRUE(plug(image)) << qPrintable(mounts.failure());
        for (int pass = 0; pass < 2; ++pass) {
            store->rescan();
            ASSERT_TRUE(drain());
            EXPECT_FALSE(store->sources().front().isOnline);
            EXPECT_EQ(holdingsOf(id), marked);
        }
        EXPECT_EQ(store->permissionRequestSourceID(), id);
    }

    // Choosing the folder answers the one question; none follows, and the
    // folder the user vouched for stays the source's.
    picker_.answers.push_back(QStringList{photos});
    store->resolvePermissionRequest(true);
    ASSERT_TRUE(drain());
    store->rescan();
    ASSERT_TRUE(drain());
    expectBackWithEverything(*store);
    EXPECT_EQ(questions, 1);
}

// A kind of share, as the mount table shows it: bindfs's plain "fuse" with
// the folder it shows as its source, sshfs's "fuse.sshfs" with its remote, or
// the desktop's gvfs, one mount of the source "gvfsd-fuse" whose shares are
// the folders below its mount point.
struct ShareKind {
    const char* name;
    const char* source;   // the mount table's; "" for bindfs, whose source is the folder it shows
    const char* subtype;  // of the FUSE type, "" for the plain one
    const char* folder;   // the source's, below the mount point ("" for the share's top)
    const char* filesystem; // the share's name: %1 its source, %2 its mount point
    // Another share of the same kind, and where it holds a folder at the
    // source's relative path: for gvfs another share folder below the mount.
    const char* otherSource;
    const char* otherFolder;
};

void PrintTo(const ShareKind& share, std::ostream* out)
{
    *out << share.name;
}

const ShareKind shareKinds[] = {
    {"fuse", "", "", "Photos", "fuse:%1 on %2", "", "Photos"},
    {"sshfs", "pivra@nas:/srv/photos", "sshfs", "Photos", "fuse.sshfs:%1 on %2", "pivra@backup:/srv/photos",
     "Photos"},
    {"sshfs top", "pivra@nas:/srv/photos", "sshfs", "", "fuse.sshfs:%1 on %2", "pivra@backup:/srv/photos", ""},
    {"gvfs", "gvfsd-fuse", "gvfsd-fuse", "smb-share:server=nas,share=photos/Photos",
     "fuse.gvfsd-fuse:%1 on %2/smb-share:server=nas,share=photos", "gvfsd-fuse",
     "smb-share:server=nas,share=backup/Photos"},
};

class ShareSourceTest : public FolderSourcesTest, public testing::WithParamInterface<ShareKind> {
protected:
    // The share of this kind (or another one of the kind) showing `from` at
    // `point`, its files numbered anew at each mount.
    bool mountShare(test::TestMounts& mounts, const QString& from, const QString& point, bool another = false)
    {
        const ShareKind& share = GetParam();
        const QString subtype = QString::fromLatin1(share.subtype);
        if (share.source[0] == '\0') {
            return mounts.bindThroughFuse(from, point, test::TestMounts::FuseLookups::cached, subtype);
        }
        return mounts.shareThroughFuse(from, point, QString::fromLatin1(another ? share.otherSource : share.source),
                                       subtype);
    }

    // The share's name as the mount table gives it for `from` at `point`.
    QString shareName(const QString& from, const QString& point) const
    {
        const ShareKind& share = GetParam();
        return QString::fromLatin1(share.filesystem)
            .arg(share.source[0] == '\0' ? from : QString::fromLatin1(share.source), point);
    }

    QString sourceFolder(const QString& point) const
    {
        return cleanFolderPath(point + u'/' + QString::fromLatin1(GetParam().folder));
    }
};

INSTANTIATE_TEST_SUITE_P(Kinds, ShareSourceTest, testing::ValuesIn(shareKinds), test::rowName);

// At the next start on the very same mount, after the share was mounted
// again under another device number, and once another share is mounted in
// its place.
TEST_P(ShareSourceTest, IsOnlineAtEveryStartOnEachMountOfItsShareAndOnlyThere)
{
    const ShareKind& share = GetParam();
    const QString served = makeFolder(QStringLiteral("served"));
    const QString other = makeFolder(QStringLiteral("other"));
    const QString point = makeFolder(QStringLiteral("mount"));
    const QString between = makeFolder(QStringLiteral("between"));
    test::TestMounts mounts;
    if (!mountShare(mounts, served, point)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const QString photos = sourceFolder(point);
    std::unique_ptr<LibraryStore> store = storeWithMarkedSource(photos);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(filesystemOf(photos).value_or(QString()).toStdString(), shareName(served, point).toStdString());
    const QUuid id = store->sources().front().id;
    const auto startAgain = [&] {
        store.reset();
        store = makeStore({.inspector = std::make_shared<MetadataInspector>()});
        return drain();
    };

    {
        SCOPED_TRACE("the next start");
        ASSERT_TRUE(startAgain());
        expectBackWithEverything(*store);
    }

    // The mount made in between takes the device number the share had,
    // unless the machine let go of a lower one meanwhile: then again.
    store.reset();
    const std::uint64_t device = folderIdentity(point)->device;
    for (int tries = 0; folderIdentity(point)->device == device; ++tries) {
        ASSERT_LT(tries, 5);
        ASSERT_TRUE(mounts.unmount(point) && mounts.mountTmpfs(between, QStringLiteral("pivra-between"))
                    && mountShare(mounts, served, point))
            << qPrintable(mounts.failure());
    }
    {
        SCOPED_TRACE("mounted again");
        ASSERT_TRUE(startAgain());
        expectBackWithEverything(*store);
    }

    // Another share of the kind: bindfs's of another folder, another remote,
    // or for gvfs the same mount's folder of another share.
    store.reset();
    const QString otherPhotos = cleanFolderPath(other + u'/' + QString::fromLatin1(share.otherFolder));
    ASSERT_TRUE(QDir().mkpath(otherPhotos));
    ASSERT_TRUE(test::makeJpeg(otherPhotos + QStringLiteral("/OTHER.jpg"), QSize(24, 32)));
    ASSERT_TRUE(mounts.unmount(point) && mountShare(mounts, other, point, true)) << qPrintable(mounts.failure());
    ASSERT_TRUE(startAgain());
    EXPECT_FALSE(store->sources().front().isOnline);
    EXPECT_TRUE(store->activeAccess().isEmpty());
    EXPECT_EQ(holdingsOf(id), marked);
    EXPECT_EQ(store->permissionRequestSourceID(), id); // its share's mount point is there
}

// A share that mounts its folder empty (the server's disk did not mount
// under its export, a folder emptied) or holding other files (a folder
// swapped) shows nothing of the source: the source is offline with all it
// holds and asked about once, at a start and while running; once its files
// are back it is as it was, with no question.
TEST_P(ShareSourceTest, AFolderHoldingNoneOfItsFilesTakesNothingAwayAndTheFilesBackBringEverythingBack)
{
    const QString served = makeFolder(QStringLiteral("served"));
    const QString away = makeFolder(QStringLiteral("away"));
    const QString strangers = makeFolder(QStringLiteral("strangers"));
    const QString point = makeFolder(QStringLiteral("mount"));
    for (int index = 0; index < 2; ++index) {
        ASSERT_TRUE(test::makeJpeg(strangers + QStringLiteral("/IMG_%1.jpg").arg(index), QSize(40, 30 + index)));
    }
    test::TestMounts mounts;
    MountMonitor monitor;
    if (!mountShare(mounts, served, point)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    std::unique_ptr<LibraryStore> store = storeWithMarkedSource(sourceFolder(point), {.mounts = &monitor});
    ASSERT_FALSE(HasFailure());
    const QUuid id = store->sources().front().id;
    const QString shown = sourceFolder(served); // the folder as the server has it
    int questions = 0;
    const auto countQuestions = [&] {
        QObject::connect(store.get(), &LibraryStore::permissionRequestSourceIDChanged, store.get(),
                         [&] { questions += store->permissionRequestSourceID() == id ? 1 : 0; });
    };
    countQuestions();

    // What the server's folder holds: the source's own files, nothing, or
    // other files (two of the same names).
    enum class Holds { own, nothing, others };
    const auto moveAll = [](const QString& from, const QString& to) {
        for (const QString& name : QDir(from).entryList(QDir::Files)) {
            if (!QDir().rename(from + u'/' + name, to + u'/' + name)) {
                return false;
            }
        }
        return true;
    };
    Holds holding = Holds::own;
    const auto hold = [&](Holds next) {
        const bool put = (holding == Holds::own ? moveAll(shown, away)
                          : holding == Holds::others ? moveAll(shown, strangers)
                                                     : true)
                         && (next == Holds::own ? moveAll(away, shown)
                             : next == Holds::others ? moveAll(strangers, shown)
                                                     : true);
        holding = next;
        return put;
    };
    struct Step {
        Holds holds;
        bool atStart; // else under the running program, mounted again
    };
    const Step steps[] = {{Holds::nothing, true},  {Holds::own, false},     {Holds::others, false},
                          {Holds::own, true},      {Holds::others, true},   {Holds::own, false},
                          {Holds::nothing, false}, {Holds::own, true}};
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << (step.holds == Holds::own ? "its files" : step.holds == Holds::nothing ? "emptied" : "swapped")
                                        << (step.atStart ? " at a start" : " while running"));
        questions = 0;
        if (step.atStart) {
            store.reset();
            ASSERT_TRUE(mounts.unmount(point));
        } else {
            // Seen gone before it comes back: a mount made at once may take
            // the same id and device number, and the table would not change.
            const int generation = store->scanGeneration();
            ASSERT_TRUE(mounts.unmount(point));
            ASSERT_TRUE(test::EventLoopWatch().waitFor([&] { return store->scanGeneration() > generation; }, 120'000));
            ASSERT_TRUE(drain());
        }
        ASSERT_TRUE(hold(step.holds) && mountShare(mounts, served, point)) << qPrintable(mounts.failure());
        const auto online = [&] { return store->sources().front().isOnline; };
        const auto setAside = [&] { return store->strangeFolderSourceIDs().contains(id) && !online(); };
        if (step.atStart) {
            store = makeStore({.mounts = &monitor, .inspector = std::make_shared<MetadataInspector>()});
            countQuestions();
        } else {
            ASSERT_TRUE(test::EventLoopWatch().waitFor(step.holds == Holds::own ? std::function<bool()>(online)
                                                                                : std::function<bool()>(setAside),
                                                       120'000));
        }
        ASSERT_TRUE(drain());
        if (step.holds == Holds::own) {
            expectBackWithEverything(*store);
            EXPECT_TRUE(store->strangeFolderSourceIDs().isEmpty());
            EXPECT_EQ(questions, 0);
        } else {
            EXPECT_TRUE(setAside());
            EXPECT_TRUE(store->activeAccess().isEmpty());
            EXPECT_EQ(holdingsOf(id), marked);
            EXPECT_EQ(store->permissionRequestSourceID(), id);
            EXPECT_EQ(questions, 1);
        }
    }

    // Choosing the folder as it is now is the user's word: its files become
    // the source's.
    store.reset();
    ASSERT_TRUE(mounts.unmount(point) && hold(Holds::others) && mountShare(mounts, served, point));
    store = makeStore({.inspector = std::make_shared<MetadataInspector>()});
    ASSERT_TRUE(drain());
    ASSERT_TRUE(store->strangeFolderSourceIDs().contains(id));
    picker_.answers.push_back(QStringList{sourceFolder(point)});
    store->resolvePermissionRequest(true);
    ASSERT_TRUE(drain());
    EXPECT_TRUE(store->sources().front().isOnline);
    EXPECT_EQ(holdingsOf(id).rows, 2);
}

// The walks scans ask for, by root: a walk of a share goes over the network
// for every file.
std::mutex walksMutex;
QHash<QString, int> walks;

FolderWalk countedWalk(const QString& root, const CancelToken& cancel)
{
    {
        const std::lock_guard lock(walksMutex);
        ++walks[root];
    }
    return walkFolder(root, cancel);
}

// Other programs mount and unmount all day: a mount walks only the sources
// on it, never the others.
TEST_F(FolderSourcesTest, AMountWalksOnlyTheSourcesOnIt)
{
    test::TestMounts mounts;
    MountMonitor monitor;
    QStringList folders;
    for (const char* name : {"a", "b", "gone"}) {
        const QString point = makeFolder(QString::fromLatin1(name));
        const QString served = makeFolder(QStringLiteral("served ") + QString::fromLatin1(name));
        if (!mounts.bind(served, point)) {
            GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
        }
        folders.append(point + QStringLiteral("/Photos"));
        ASSERT_TRUE(QDir().mkpath(folders.back()));
        ASSERT_TRUE(test::makeJpeg(folders.back() + QStringLiteral("/IMG.jpg"), QSize(24, 16)));
    }
    auto store = makeStore(
        {.mounts = &monitor, .inspector = std::make_shared<MetadataInspector>(), .walker = &countedWalk});
    picker_.answers.push_back(folders);
    store->addFolders();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->sources().size(), 3);
    const QString elsewhere = makeFolder(QStringLiteral("elsewhere"));
    const struct {
        const char* name;
        std::function<bool()> change;
        int walksOfA;
    } rows[] = {
        // An offline source may come back on any disk mounted.
        {"a source's disk gone", [&] { return mounts.unmount(pathOf(QStringLiteral("gone"))); }, 0},
        {"a share mounted elsewhere",
         [&] { return mounts.bindThroughFuse(makeFolder(QStringLiteral("served")), elsewhere); }, 0},
        {"a source's disk gone", [&] { return mounts.unmount(pathOf(QStringLiteral("a"))); }, 0},
        {"its disk back", [&] { return mounts.bind(pathOf(QStringLiteral("served a")), pathOf(QStringLiteral("a"))); },
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        {
            const std::lock_guard lock(walksMutex);
            walks.clear();
        }
        const int generation = store->scanGeneration();
        ASSERT_TRUE(row.change()) << qPrintable(mounts.failure());
        ASSERT_TRUE(test::EventLoopWatch().waitFor([&] { return store->scanGeneration() > generation; }, 120'000));
        ASSERT_TRUE(drain());
        const std::lock_guard lock(walksMutex);
        EXPECT_EQ(walks.value(folders[0]), row.walksOfA);
        EXPECT_EQ(walks.value(folders[1]), 0);
    }
    EXPECT_TRUE(store->sources().front().isOnline);
}

TEST_F(FolderSourcesTest, AddingSkipsKnownAndUnusableFoldersSavesTheRestAndShowsTheNewSourceWhole)
{
    const QString trip = makeFolder(QStringLiteral("Trip"));
    const QString home = makeFolder(QStringLiteral("Home"));
    const QString file = writeFile(QStringLiteral("notes.txt"), "x");
    auto store = makeStore({.inspector = std::make_shared<MetadataInspector>()});
    ASSERT_TRUE(drain());
    const int generation = store->scanGeneration();

    picker_.answers.push_back(std::nullopt);
    store->addFolders();
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->scanGeneration(), generation);
    EXPECT_TRUE(store->sources().isEmpty());

    picker_.answers.push_back(QStringList{trip, file, home, trip});
    store->addFolders();
    ASSERT_TRUE(drain());
    EXPECT_EQ(picker_.severalAllowed.last(), true);
    EXPECT_EQ(store->message(), QStringLiteral("Could not save access to notes.txt."));
    EXPECT_EQ(store->scanGeneration(), generation + 1);
    ASSERT_EQ(store->sources().size(), 2);
    EXPECT_EQ(store->selectedSourceID(), sourceNamed(*store, QStringLiteral("Home")).id);
    const auto saved = decodeSources(AppSettings().value(LibraryStore::sourcesKey).toByteArray()).sources;
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].lastKnownPath, trip);
    EXPECT_EQ(saved[1].volumePath, volumeFacts(home)->rootPath);

    // A folder chosen in another source does not limit the new one. A
    // folder spelled with "." and ".." steps is one folder, kept and indexed
    // under one path.
    store->selectFolder(sourceNamed(*store, QStringLiteral("Trip")).id, trip + QStringLiteral("/2020"));
    const QString work = makeFolder(QStringLiteral("Work"));
    ASSERT_TRUE(test::makeJpeg(work + QStringLiteral("/a.jpg"), QSize(8, 6)));
    picker_.answers.push_back(QStringList{root() + QStringLiteral("/./Work/../Work/"), trip + QStringLiteral("/../Home/.")});
    store->addFolders();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->sources().size(), 3);
    EXPECT_EQ(store->sources().last().lastKnownPath, work);
    EXPECT_EQ(store->selectedSourceID(), sourceNamed(*store, QStringLiteral("Work")).id);
    EXPECT_FALSE(store->selectedFolderPath().has_value());
    ASSERT_EQ(store->items()->size(), 1u);
    EXPECT_EQ(store->items()->front().path(), work + QStringLiteral("/a.jpg"));
}

// The folder dialog opens in the folder the last choice was made in, after a
// restart too; a cancelled dialog changes nothing. A remembered folder whose
// share stopped answering opens the dialog where it opens by itself, as the
// dialog would hold the GUI thread in its first look there.
TEST_F(FolderSourcesTest, TheFolderDialogOpensWhereTheLastFolderWasChosenWhileItsDiskAnswers)
{
    const QString trip = makeFolder(QStringLiteral("Disk/Trips/Trip"));
    const QString share = makeFolder(QStringLiteral("Share"));
    test::TestMounts mounts;
    if (!mounts.bindThroughFuse(makeFolder(QStringLiteral("Share files/Album")).section(u'/', 0, -2), share,
                                 test::TestMounts::FuseLookups::uncached)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    // The limit counts the time a look sleeps in its disk, which a busy
    // machine does not add to: only the stopped share reaches it.
    const auto services = [] {
        return LibraryServices{.probeFolder = &probeFolder, .probeTimeLimit = std::chrono::milliseconds(300)};
    };
    auto store = makeStore(services());
    ASSERT_TRUE(drain());
    const auto startOfNextDialog = [&] {
        store->addFolders();
        EXPECT_TRUE(drain());
        return picker_.startPaths.last();
    };
    EXPECT_EQ(startOfNextDialog(), QString());
    picker_.answers.push_back(QStringList{trip});
    EXPECT_EQ(startOfNextDialog(), QString());
    EXPECT_EQ(startOfNextDialog(), pathOf(QStringLiteral("Disk/Trips")));
    store.reset();
    store = makeStore(services());
    EXPECT_EQ(startOfNextDialog(), pathOf(QStringLiteral("Disk/Trips")));

    picker_.answers.push_back(QStringList{share + QStringLiteral("/Album")});
    EXPECT_EQ(startOfNextDialog(), pathOf(QStringLiteral("Disk/Trips")));
    ASSERT_EQ(store->sources().size(), 2);
    ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(5))) << qPrintable(mounts.failure());
    EXPECT_EQ(startOfNextDialog(), QString());
    EXPECT_FALSE(mounts.resumedByItself(share));
    mounts.resume(share);
    EXPECT_EQ(startOfNextDialog(), share);
}

TEST_F(FolderSourcesTest, AskingForFoldersWhileTheirDialogIsOnItsWayOrOpenOpensNoOther)
{
    const QString trip = makeFolder(QStringLiteral("Trips/Trip"));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    picker_.answers.push_back(QStringList{trip});
    store->addFolders();
    ASSERT_TRUE(drain());
    ASSERT_EQ(picker_.questions.size(), 1);

    // Twice in a row, the second while the first dialog's start folder is
    // being looked at; and once more while it is open.
    bool askedWhileOpen = false;
    picker_.whileOpen = [&] {
        if (!std::exchange(askedWhileOpen, true)) {
            store->addFolders();
            EXPECT_TRUE(drain());
        }
    };
    store->addFolders();
    store->addFolders();
    ASSERT_TRUE(drain());
    picker_.whileOpen = nullptr;
    EXPECT_TRUE(askedWhileOpen);
    EXPECT_EQ(picker_.questions.size(), 2);
    store->addFolders();
    ASSERT_TRUE(drain());
    EXPECT_EQ(picker_.questions.size(), 3);
}

TEST_F(FolderSourcesTest, AnsweringTheAccessQuestionReconnectsOrDismissesAndMovesOn)
{
    QList<LibrarySource> lost;
    for (const char* name : {"First", "Second", "Third"}) {
        const QString folder = makeFolder(QString::fromLatin1(name));
        lost.append(test::folderSourceAt(folder));
        ASSERT_TRUE(QDir(folder).removeRecursively());
    }
    storeSources(encodeSources(lost));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->permissionRequestSourceID(), lost[0].id);
    EXPECT_EQ(store->permissionRequestSourceName(), QStringLiteral("First"));

    // Choosing a folder that is no folder fails; the source is not asked
    // about again, neither by a rescan while its dialog is open nor after.
    std::optional<QUuid> askedWhileOpen;
    picker_.whileOpen = [&] {
        store->rescan();
        EXPECT_TRUE(drain());
        askedWhileOpen = store->permissionRequestSourceID();
    };
    picker_.answers.push_back(QStringList{writeFile(QStringLiteral("file"), "x")});
    store->resolvePermissionRequest(true);
    ASSERT_TRUE(drain());
    picker_.whileOpen = nullptr;
    EXPECT_FALSE(askedWhileOpen.has_value());
    EXPECT_EQ(picker_.questions.last(), QStringLiteral("Choose the folder for First."));
    EXPECT_EQ(picker_.startPaths.last(), lost[0].lastKnownPath);
    EXPECT_EQ(store->message(), QStringLiteral("Could not reconnect this folder."));
    EXPECT_EQ(store->permissionRequestSourceID(), lost[1].id);

    // A folder that can be read brings the source back under its new name,
    // and it is not asked about again.
    QList<QUuid> asked;
    QObject::connect(store.get(), &LibraryStore::permissionRequestSourceIDChanged, store.get(), [&] {
        if (store->permissionRequestSourceID()) {
            asked.append(*store->permissionRequestSourceID());
        }
    });
    const QString found = makeFolder(QStringLiteral("Found"));
    picker_.answers.push_back(QStringList{found});
    store->resolvePermissionRequest(true);
    ASSERT_TRUE(drain());
    EXPECT_EQ(asked, QList<QUuid>{lost[2].id});
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
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->permissionNeededIDs(), QList<QUuid>{lost[0].id});
    EXPECT_FALSE(store->permissionRequestSourceID().has_value());
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
    const LibrarySource trip = test::folderSourceAt(makeFolder(QStringLiteral("Trip")));
    const LibrarySource home = test::folderSourceAt(makeFolder(QStringLiteral("Home")));
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
    const QString marker = makeFolder(QStringLiteral("Trip/marks")) + QStringLiteral("/.pivra");
    storeSources(encodeSources({test::folderSourceAt(trip)}));
    const SourceWatcher::Timing timing{50ms, 200ms};
    auto store = makeStore({.watchTiming = timing});
    ASSERT_TRUE(drain());
    ASSERT_NE(store->watcher(), nullptr); // and its first watches are set

    const auto rescansAfter = [&](const std::function<void()>& change) {
        const int generation = store->scanGeneration();
        change();
        EXPECT_TRUE(test::settleWatch(store->watcher()->stream(), marker, timing.debounce));
        EXPECT_TRUE(drain());
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

// A source folder that goes and comes back is watched again. Moved away and
// back it is the source's own folder and is online again, also when a pass
// found it gone meanwhile; deleted and made anew it is not the folder the
// source was added with: the source goes offline with its rows kept and asks
// to be chosen again. Every way a file added then shows without a restart.
TEST_F(FolderSourcesTest, AFolderThatGoesAndComesBackIsWatchedAgainAndANewOneAskedAbout)
{
    const QString trip = pathOf(QStringLiteral("Trip"));
    // Deeper than a moved folder is looked for, so found gone.
    const QString away = makeFolder(QStringLiteral("deep/1/2/3/4")) + QStringLiteral("/Away");
    const auto moveAway = [&] { return QDir().rename(trip, away); };
    const auto moveBack = [&] { return QDir().rename(away, trip); };
    const struct {
        const char* name;
        std::function<bool()> go;
        std::function<bool()> comeBack;
        bool foundGone; // comes back once a pass has found the source offline
        bool anew;
    } ways[] = {
        {"moved away and back", moveAway, moveBack, false, false},
        {"moved away, and back after a pass", moveAway, moveBack, true, false},
        {"deleted and made anew", [&] { return QDir(trip).removeRecursively(); }, [&] { return QDir().mkdir(trip); },
         false, true},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        QDir(trip).removeRecursively();
        ASSERT_TRUE(test::makeJpeg(makeFolder(QStringLiteral("Trip")) + QStringLiteral("/old.jpg"), QSize(8, 6)));
        const LibrarySource source = test::folderSourceAt(trip);
        storeSources(encodeSources({source}));
        auto store = makeStore({.watchTiming = {50ms, 100ms}, .inspector = std::make_shared<MetadataInspector>()});
        ASSERT_TRUE(drain());
        ASSERT_EQ(store->items()->size(), 1u);
        const auto waitFor = [&](const std::function<bool()>& condition) {
            return QTest::qWaitFor([&] { return drain() && condition(); }, 120000);
        };
        const int generation = store->scanGeneration();

        ASSERT_TRUE(way.go());
        if (way.foundGone) {
            ASSERT_TRUE(waitFor([&] { return !store->sources().front().isOnline; }));
        }
        ASSERT_TRUE(way.comeBack());
        ASSERT_TRUE(waitFor([&] { return store->scanGeneration() > generation; }));
        if (way.anew) {
            ASSERT_TRUE(waitFor([&] { return store->permissionRequestSourceID() == source.id; }));
            EXPECT_FALSE(store->sources().front().isOnline);
            EXPECT_EQ(holdingsOf(source.id).rows, 1);
            picker_.answers.push_back(QStringList{trip});
            store->resolvePermissionRequest(true);
        }
        ASSERT_TRUE(waitFor([&] { return store->sources().front().isOnline; }));
        ASSERT_TRUE(test::makeJpeg(trip + QStringLiteral("/new.jpg"), QSize(8, 6)));
        EXPECT_TRUE(waitFor([&] {
            return std::any_of(store->items()->cbegin(), store->items()->cend(),
                               [&](const MediaItem& item) { return item.path() == trip + QStringLiteral("/new.jpg"); });
        }));
        store.reset();
        QFile::remove(catalogPath_);
    }
}

} // namespace
} // namespace pivra
