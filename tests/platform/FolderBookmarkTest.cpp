#include "platform/folders/FolderBookmark.h"
#include "platform/folders/FileNameText.h"
#include "platform/folders/MountTable.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace pivra {
namespace {

TEST(FolderBookmarkRecordTest, RoundTripsAndRefusesWhatIsNoRecord)
{
    const std::optional<FolderBookmark> made = FolderBookmark::make(QDir::tempPath());
    ASSERT_TRUE(made);
    EXPECT_EQ(FolderBookmark::decode(made->encode()), made);
    EXPECT_EQ(made->identity(), folderIdentity(QDir::tempPath()));

    // What earlier versions wrote is kept as it is, though it names no folder.
    const QByteArray pathOnly = R"({"path":"/srv/photos","version":1})";
    ASSERT_TRUE(FolderBookmark::decode(pathOnly));
    EXPECT_EQ(FolderBookmark::decode(pathOnly)->encode(), pathOnly);
    EXPECT_FALSE(FolderBookmark::decode(pathOnly)->identity());

    const std::optional<FolderBookmark> wide = FolderBookmark::decode(
        R"({"version":1,"path":"/a","device":"18446744073709551615","inode":"9007199254740993"})");
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->device(), 18446744073709551615ULL);
    EXPECT_EQ(wide->inode(), 9007199254740993ULL);
    EXPECT_EQ(FolderBookmark::decode(wide->encode()), wide);

    const char* refused[] = {
        "",
        "not json",
        "[1]",
        R"({"path":"/a"})",
        R"({"version":2,"path":"/a"})",
        R"({"version":"1","path":"/a"})",
        R"({"version":1})",
        R"({"version":1,"path":""})",
        R"({"version":1,"path":7})",
        R"({"version":1,"path":"/a","filesystem":3,"relativePath":"a","device":"1","inode":"2"})",
        R"({"version":1,"path":"/a","device":1,"inode":"2"})",
        R"({"version":1,"path":"/a","device":"-1","inode":"2"})",
        R"({"version":1,"path":"/a","device":"1","inode":"18446744073709551616"})",
        R"({"version":1,"path":"/a","device":"1"})",
        R"({"version":1,"path":"/a","filesystem":"x","device":"1","inode":"2"})",
        R"({"version":1,"path":"/a","filesystem":"x","relativePath":"a"})",
    };
    for (const char* record : refused) {
        EXPECT_FALSE(FolderBookmark::decode(record)) << record;
    }
}

TEST(FolderBookmarkMountTest, TheLongestMountPointPrefixHoldsAPath)
{
    const QList<MountEntry> table = parseMountTable("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                                    "2 1 8:17 / /media/disk rw - vfat /dev/sdb1 rw\n"
                                                    "3 2 0:40 / /media/disk/cache rw - tmpfs tmpfs rw\n"
                                                    "4 1 8:33 / /media/disk rw - exfat /dev/sdc1 rw\n");
    const struct {
        const char* path;
        int mountId;
    } rows[] = {{"/", 1}, {"/media", 1}, {"/media/diskette", 1}, {"/media/disk", 4}, {"/media/disk/a", 4},
                {"/media/disk/cache", 3}, {"/media/disk/cache/x", 3}};
    for (const auto& row : rows) {
        EXPECT_EQ(mountHolding(table, row.path)->mountId, row.mountId) << row.path;
    }
}

// `resolved` is the folder at `path`, told fully enough to bring `bookmark`
// up to date: the record relocated there names the same folder and finds it
// where it is, no longer stale.
void expectFoundAt(const FolderBookmark& bookmark, const ResolvedFolder& resolved, const QString& path)
{
    EXPECT_EQ(resolved.path, path);
    EXPECT_EQ(resolved.identity, folderIdentity(path));
    EXPECT_EQ(resolved.filesystem, filesystemOf(path));
    EXPECT_TRUE(path.endsWith(u'/' + resolved.relativePath)) << resolved.relativePath.toStdString();

    const FolderBookmark renewed = bookmark.relocated(resolved);
    EXPECT_EQ(renewed.identity(), (FolderIdentity{resolved.identity.device, *bookmark.inode(), bookmark.birth()}));
    const std::optional<ResolvedFolder> again = renewed.resolve();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->path, path);
    EXPECT_FALSE(again->stale);
}

// Filesystems stamp birth times from a clock that moves in ticks of a few
// milliseconds, or hand out the latest time given again: a folder made anew
// before that clock passed the bookmarked folder's birth time would share it
// as well as, perhaps, its inode.
void awaitClockPast(const FolderBookmark& bookmark)
{
    const std::uint64_t birth = bookmark.birth().value_or(0);
    const auto now = [] {
        timespec time{};
        clock_gettime(CLOCK_REALTIME_COARSE, &time);
        return static_cast<std::uint64_t>(time.tv_sec) * 1'000'000'000U + static_cast<std::uint64_t>(time.tv_nsec);
    };
    while (now() <= birth) {
        // a tick is a few milliseconds
    }
}

// Moves "parent/photos" into a new folder at `parent`, a path below `d`
// given as the bytes the kernel gets.
void moveUnder(const QDir& d, const char* parent)
{
    const QByteArray root = fileNameBytes(d.path()) + '/';
    const QByteArray folder = root + parent;
    EXPECT_EQ(::mkdir(folder.constData(), 0755), 0);
    EXPECT_EQ(::rename(QByteArray(root + "parent/photos").constData(), QByteArray(folder + "/photos").constData()), 0);
}

using FolderBookmarkTest = test::TempFolderTest;

TEST_F(FolderBookmarkTest, FindsTheFolderAgainAfterItChanged)
{
    const struct {
        const char* name;
        std::function<void(QDir)> change;
        const char* foundAt; // below the row's folder; none when nothing should be found
        bool stale;
    } rows[] = {
        {"untouched", [](QDir) {}, "parent/photos", false},
        {"renamed", [](QDir d) { d.rename("parent/photos", "parent/renamed"); }, "parent/renamed", true},
        {"moved to a sibling", [](QDir d) { d.rename("parent/photos", "parent/sibling/photos"); },
         "parent/sibling/photos", true},
        // The old folder stays out of the search, so the new one cannot reuse its inode.
        {"replaced",
         [](QDir d) {
             d.mkpath(".pivra");
             d.rename("parent/photos", ".pivra/photos");
             d.mkpath("parent/photos");
         },
         nullptr, false},
        // The new folder may well be given the old one's freed inode.
        {"made anew",
         [](QDir d) {
             d.rmdir("parent/photos");
             d.mkpath("parent/photos");
         },
         nullptr, false},
        {"deleted", [](QDir d) { d.rmdir("parent/photos"); }, nullptr, false},
        // Names are bytes: a parent named in Latin-1 by an older system hides
        // the folder no more than one named in UTF-8.
        {"moved under a parent named in UTF-8", [](QDir d) { moveUnder(d, "parent/Caf\xC3\xA9"); },
         "parent/Caf\xC3\xA9/photos", true},
        {"moved under a parent named in Latin-1", [](QDir d) { moveUnder(d, "parent/Caf\xE9"); },
         "parent/Caf\xE9/photos", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QDir folder(makeFolder(row.name));
        makeFolder(QString(row.name) + "/parent/sibling");
        const std::optional<FolderBookmark> bookmark =
            FolderBookmark::make(makeFolder(QString(row.name) + "/parent/photos/"));
        ASSERT_TRUE(bookmark);
        EXPECT_EQ(bookmark->path(), folder.filePath("parent/photos"));
        awaitClockPast(*bookmark);
        row.change(folder);

        const std::optional<ResolvedFolder> resolved = bookmark->resolve();
        ASSERT_EQ(resolved.has_value(), row.foundAt != nullptr);
        if (resolved) {
            EXPECT_EQ(resolved->stale, row.stale);
            expectFoundAt(*bookmark, *resolved, folder.path() + u'/' + fileNameText(row.foundAt));
        }
    }
}

TEST_F(FolderBookmarkTest, APathAloneNamesNoFolder)
{
    const QString folder = makeFolder("photos");
    const std::optional<FolderBookmark> pathOnly =
        FolderBookmark::decode(QJsonDocument(QJsonObject{{"version", 1}, {"path", folder}}).toJson());
    ASSERT_TRUE(pathOnly);
    EXPECT_FALSE(pathOnly->resolve());
    EXPECT_FALSE(FolderBookmark::make(pathOf("missing")));
    EXPECT_FALSE(FolderBookmark::make(writeFile("file", "x")));
}

// Disks that come and go under a bookmark: a tmpfs, or an ext4 image made
// now and mounted through a loop device, at "a" of each row's folder, holding
// the bookmarked "<tag>/Photos". Filesystems are named as this machine names
// them, with or without udev's UUID links.
class FolderBookmarkDiskTest : public test::TempFolderTest {
protected:
    enum class Disk { tmpfs, ext4 };

    // One row's disks, undone when the row ends.
    struct Row {
        QString folder;
        test::TestMounts mounts;
        QString image;  // the ext4 disk's image
        QString device; // and the loop device it was mounted from

        QString at(const QString& relative) const { return folder + u'/' + relative; }
    };

    void SetUp() override
    {
        TempFolderTest::SetUp();
        if (geteuid() != 0) {
            GTEST_SKIP() << "mounting needs root";
        }
    }

    // Mounts the row's disk at "a": none, with the reason, when it cannot.
    static std::optional<QString> mountDisk(Row& row, Disk disk)
    {
        const QString point = row.at("a");
        QDir().mkpath(point);
        if (disk == Disk::tmpfs) {
            // The source /dev/shm and many other tmpfs mounts show as well.
            if (!row.mounts.mountTmpfs(point, "tmpfs")) {
                return row.mounts.failure();
            }
            EXPECT_EQ(filesystemOf(point), "tmpfs:tmpfs on " + point);
            return std::nullopt;
        }
        const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        row.image = row.at("a.img");
        const std::optional<QString> device =
            row.mounts.makeExt4Image(row.image, uuid) ? row.mounts.attach(row.image) : std::nullopt;
        if (!device || !row.mounts.mountExt4(*device, point)) {
            return row.mounts.failure();
        }
        row.device = *device;
        EXPECT_EQ(filesystemOf(point), uuid) << "read from the superblock where udev gives no link";
        return std::nullopt;
    }
};

// A disk mounted at a folder named by an older system, in Latin-1: the mount
// table names the same bytes as the paths below it.
TEST_F(FolderBookmarkDiskTest, AMountPointNamedInBytesThatAreNotUtf8HoldsTheFoldersBelowIt)
{
    test::TestMounts mounts;
    const QString point = root() + fileNameText("/Caf\xE9");
    ASSERT_EQ(::mkdir(fileNameBytes(point).constData(), 0755), 0);
    if (!mounts.mountTmpfs(point, "tmpfs")) {
        GTEST_SKIP() << mounts.failure().toStdString();
    }
    const QString photos = point + "/Photos";
    ASSERT_EQ(::mkdir(fileNameBytes(photos).constData(), 0755), 0);

    EXPECT_TRUE(isMountPoint(point));
    EXPECT_EQ(filesystemOf(photos), "tmpfs:tmpfs on " + point);
    const std::optional<FolderBookmark> bookmark = FolderBookmark::make(photos);
    ASSERT_TRUE(bookmark);
    EXPECT_EQ(bookmark->relativePath(), "Photos");
    const std::optional<ResolvedFolder> resolved = bookmark->resolve();
    ASSERT_TRUE(resolved);
    EXPECT_FALSE(resolved->stale);
    expectFoundAt(*bookmark, *resolved, photos);
}

// A folder moved on its disk is looked for around its place without a look
// at a share mounted there whose server stopped answering: the search passes
// its mount point by, and finds the folder beyond it.
TEST_F(FolderBookmarkDiskTest, AMovedFolderIsFoundPastAShareThatStoppedAnswering)
{
    test::TestMounts mounts;
    const QString dead = makeFolder("parent/a dead share");
    if (!mounts.bindThroughFuse(makeFolder("served"), dead, test::TestMounts::FuseLookups::uncached)) {
        GTEST_SKIP() << mounts.failure().toStdString();
    }
    const std::optional<FolderBookmark> bookmark = FolderBookmark::make(makeFolder("parent/photos"));
    ASSERT_TRUE(bookmark);
    ASSERT_TRUE(QDir(root()).rename("parent/photos", makeFolder("parent/z sibling") + "/photos"));
    ASSERT_TRUE(mounts.hang(dead, std::chrono::minutes(2))) << mounts.failure().toStdString();

    const std::optional<ResolvedFolder> found = bookmark->resolve();
    EXPECT_FALSE(mounts.resumedByItself(dead));
    mounts.resume(dead);
    ASSERT_TRUE(found);
    expectFoundAt(*bookmark, *found, pathOf("parent/z sibling/photos"));
}

// A share that numbers its files anew at each mount (sshfs, rclone) gives its
// folder another inode than the recorded one: on a FUSE share the folder at
// its place is its own, recorded with the number it has now; on a tmpfs,
// which is no share, another number is another folder.
TEST_F(FolderBookmarkDiskTest, OnAShareThatNumbersItsFilesAnewTheFolderAtItsPlaceIsItsOwn)
{
    test::TestMounts mounts;
    const QString fuse = makeFolder("fuse");
    const QString tmpfs = makeFolder("tmpfs");
    if (!mounts.bindThroughFuse(makeFolder("served"), fuse) || !mounts.mountTmpfs(tmpfs, "tmpfs")) {
        GTEST_SKIP() << mounts.failure().toStdString();
    }
    for (const QString& point : {fuse, tmpfs}) {
        SCOPED_TRACE(point.toStdString());
        const QString photos = makeFolder(QFileInfo(point).fileName() + "/Photos");
        QJsonObject record = QJsonDocument::fromJson(FolderBookmark::make(photos)->encode()).object();
        record["inode"] = QString::number(folderIdentity(photos)->inode + 1'000'000);
        const std::optional<FolderBookmark> renumbered = FolderBookmark::decode(QJsonDocument(record).toJson());
        ASSERT_TRUE(renumbered);

        const std::optional<ResolvedFolder> found = renumbered->resolve();
        ASSERT_EQ(found.has_value(), point == fuse);
        if (found) {
            EXPECT_EQ(found->path, photos);
            EXPECT_TRUE(found->stale);
            EXPECT_EQ(renumbered->relocated(*found).identity(), folderIdentity(photos));
        }
    }
}

// On such a share any folder would pass for the source's own but by its
// place: one gone from its place is not looked for around it, where a folder
// moved or renamed beside it would be taken for it.
TEST_F(FolderBookmarkDiskTest, OnAShareThatNumbersItsFilesAnewAFolderGoneFromItsPlaceIsNotLookedFor)
{
    test::TestMounts mounts;
    const QString share = makeFolder("share");
    if (!mounts.bindThroughFuse(makeFolder("served"), share)) {
        GTEST_SKIP() << mounts.failure().toStdString();
    }
    const std::optional<FolderBookmark> bookmark = FolderBookmark::make(makeFolder("share/parent/Photos"));
    ASSERT_TRUE(bookmark);
    ASSERT_TRUE(QDir(share).rename("parent/Photos", makeFolder("share/parent/sibling") + "/Photos"));
    EXPECT_FALSE(bookmark->resolve()) << "moved into a sibling";
    ASSERT_TRUE(QDir(share).rename("parent/sibling/Photos", "parent/Renamed"));
    EXPECT_FALSE(bookmark->resolve()) << "renamed";
}

TEST_F(FolderBookmarkDiskTest, FindsTheFolderOnlyOnItsOwnDisk)
{
    QTemporaryDir sharedMemory("/dev/shm/pivra-XXXXXX");
    if (!sharedMemory.isValid() || !isMountPoint("/dev/shm")) {
        GTEST_SKIP() << "no tmpfs at /dev/shm";
    }
    const QString tag = QFileInfo(sharedMemory.path()).fileName();
    ASSERT_TRUE(QDir().mkpath(sharedMemory.filePath("Photos")));
    const auto photos = [&tag](const QString& mountPoint) -> QString { return mountPoint + u'/' + tag + "/Photos"; };

    const struct {
        const char* name;
        Disk disk;
        std::function<void(Row&, const FolderBookmark&)> change;
        const char* foundOn;   // the mount point; none when nothing may be found
        const char* foundName; // the folder's name there
        bool stale;
    } rows[] = {
        {"ext4, untouched", Disk::ext4, [](Row&, const FolderBookmark&) {}, "a", "Photos", false},
        {"ext4, mounted elsewhere from another loop device", Disk::ext4,
         [](Row& row, const FolderBookmark&) {
             const std::optional<QString> other = row.mounts.attach(row.image);
             ASSERT_TRUE(other) << row.mounts.failure().toStdString();
             ASSERT_NE(*other, row.device);
             ASSERT_TRUE(row.mounts.unmount(row.at("a")));
             ASSERT_TRUE(QDir().mkpath(row.at("b")));
             ASSERT_TRUE(row.mounts.mountExt4(*other, row.at("b"))) << row.mounts.failure().toStdString();
         },
         "b", "Photos", true},
        {"ext4, renamed", Disk::ext4,
         [&tag](Row& row, const FolderBookmark&) { ASSERT_TRUE(QDir(row.at("a/" + tag)).rename("Photos", "Renamed")); },
         "a", "Renamed", true},
        {"ext4, folder made anew", Disk::ext4,
         [&](Row& row, const FolderBookmark&) {
             ASSERT_TRUE(QDir().rmdir(photos(row.at("a"))));
             ASSERT_TRUE(QDir().mkdir(photos(row.at("a"))));
         },
         nullptr, nullptr, false},
        {"ext4, another disk at the same place", Disk::ext4,
         [&](Row& row, const FolderBookmark&) {
             ASSERT_TRUE(row.mounts.unmount(row.at("a")));
             const std::optional<QString> other =
                 row.mounts.makeExt4Image(row.at("b.img"), QUuid::createUuid().toString(QUuid::WithoutBraces))
                     ? row.mounts.attach(row.at("b.img"))
                     : std::nullopt;
             ASSERT_TRUE(other && row.mounts.mountExt4(*other, row.at("a"))) << row.mounts.failure().toStdString();
             ASSERT_TRUE(QDir().mkpath(photos(row.at("a"))));
         },
         nullptr, nullptr, false},
        {"ext4, unplugged, its mount folder holding the same path", Disk::ext4,
         [&](Row& row, const FolderBookmark&) {
             ASSERT_TRUE(row.mounts.unmount(row.at("a")));
             EXPECT_FALSE(isMountPoint(row.at("a")));
             ASSERT_TRUE(QDir().mkpath(photos(row.at("a"))));
         },
         nullptr, nullptr, false},
        // The new tmpfs may well be given the old one's device number, and it
        // numbers its inodes from the start again: only the birth time tells.
        {"tmpfs, another tmpfs at the same place", Disk::tmpfs,
         [&](Row& row, const FolderBookmark&) {
             ASSERT_TRUE(row.mounts.unmount(row.at("a")));
             ASSERT_TRUE(row.mounts.mountTmpfs(row.at("a"), "tmpfs"));
             ASSERT_TRUE(QDir().mkpath(photos(row.at("a"))));
         },
         nullptr, nullptr, false},
        {"tmpfs, unplugged, /dev/shm holding the same path", Disk::tmpfs,
         [](Row& row, const FolderBookmark&) { ASSERT_TRUE(row.mounts.unmount(row.at("a"))); }, nullptr, nullptr,
         false},
        {"tmpfs, kept by a bind mount while unmounted, then bound back", Disk::tmpfs,
         [](Row& row, const FolderBookmark& bookmark) {
             ASSERT_TRUE(QDir().mkpath(row.at("keep")));
             ASSERT_TRUE(row.mounts.bind(row.at("a"), row.at("keep")));
             ASSERT_TRUE(row.mounts.unmount(row.at("a")));
             EXPECT_FALSE(bookmark.resolve()) << "a tmpfs is known by its mount point";
             ASSERT_TRUE(row.mounts.bind(row.at("keep"), row.at("a")));
         },
         "a", "Photos", false},
    };
    int index = 0;
    for (const auto& scenario : rows) {
        SCOPED_TRACE(scenario.name);
        Row row;
        row.folder = makeFolder(QString::number(index++));
        if (const std::optional<QString> failure = mountDisk(row, scenario.disk)) {
            GTEST_SKIP() << failure->toStdString();
        }
        ASSERT_TRUE(QDir().mkpath(photos(row.at("a"))));
        const std::optional<FolderBookmark> bookmark = FolderBookmark::make(photos(row.at("a")));
        ASSERT_TRUE(bookmark);
        awaitClockPast(*bookmark);
        ASSERT_NO_FATAL_FAILURE(scenario.change(row, *bookmark));

        const std::optional<ResolvedFolder> resolved = bookmark->resolve();
        ASSERT_EQ(resolved.has_value(), scenario.foundOn != nullptr);
        if (resolved) {
            EXPECT_EQ(resolved->stale, scenario.stale);
            expectFoundAt(*bookmark, *resolved, row.at(scenario.foundOn) + u'/' + tag + u'/' + scenario.foundName);
        }
    }
}

} // namespace
} // namespace pivra
