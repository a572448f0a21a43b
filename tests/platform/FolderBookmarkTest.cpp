#include "platform/folders/FolderBookmark.h"
#include "platform/folders/MountTable.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace pivra {
namespace {

TEST(FolderBookmarkRecordTest, RoundTripsAndRefusesWhatIsNoRecord)
{
    const std::optional<FolderBookmark> made = FolderBookmark::make(QDir::tempPath());
    ASSERT_TRUE(made);
    EXPECT_EQ(FolderBookmark::decode(made->encode()), made);
    EXPECT_EQ(FolderBookmark::decode(FolderBookmark::ofPath("/srv/photos/").encode()),
              FolderBookmark::ofPath("/srv/photos"));
    EXPECT_EQ(FolderBookmark::ofPath("/srv/photos").encode(), R"({"path":"/srv/photos","version":1})");

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

class FolderBookmarkTest : public test::TempFolderTest {
protected:
    void TearDown() override
    {
        for (auto point = mounted_.rbegin(); point != mounted_.rend(); ++point) {
            umount2(QFile::encodeName(*point).constData(), MNT_DETACH);
        }
    }

    // Mounts a tmpfs as a stand-in disk, or binds `source` there.
    bool mountAt(const QString& point, const QString& source = {})
    {
        const int result = source.isEmpty()
                               ? mount("pivra-disk", QFile::encodeName(point).constData(), "tmpfs", 0, nullptr)
                               : mount(QFile::encodeName(source).constData(), QFile::encodeName(point).constData(),
                                       nullptr, MS_BIND, nullptr);
        if (result == 0) {
            mounted_.append(point);
        }
        return result == 0;
    }

    void unmount(const QString& point)
    {
        ASSERT_EQ(umount2(QFile::encodeName(point).constData(), MNT_DETACH), 0) << std::strerror(errno);
        mounted_.removeAll(point);
    }

private:
    QStringList mounted_;
};

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
         "parent/photos", true},
        {"deleted", [](QDir d) { d.rmdir("parent/photos"); }, nullptr, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QDir folder(makeFolder(row.name));
        makeFolder(QString(row.name) + "/parent/sibling");
        const std::optional<FolderBookmark> bookmark =
            FolderBookmark::make(makeFolder(QString(row.name) + "/parent/photos/"));
        ASSERT_TRUE(bookmark);
        EXPECT_EQ(bookmark->path(), folder.filePath("parent/photos"));
        row.change(folder);

        const std::optional<ResolvedFolder> resolved = bookmark->resolve();
        ASSERT_EQ(resolved.has_value(), row.foundAt != nullptr);
        if (resolved) {
            EXPECT_EQ(resolved->path, folder.filePath(row.foundAt));
            EXPECT_EQ(resolved->stale, row.stale);
            EXPECT_EQ(resolved->identity, folderIdentity(resolved->path));
            EXPECT_EQ(resolved->filesystem, bookmark->filesystem());
        }
    }
}

TEST_F(FolderBookmarkTest, APathOnlyRecordResolvesByItsPath)
{
    const QString folder = makeFolder("photos");
    const std::optional<ResolvedFolder> resolved = FolderBookmark::ofPath(folder).resolve();
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->path, folder);
    EXPECT_FALSE(resolved->stale);
    EXPECT_EQ(resolved->identity, folderIdentity(folder));
    EXPECT_EQ(resolved->filesystem, filesystemOf(folder));
    EXPECT_FALSE(FolderBookmark::ofPath(pathOf("missing")).resolve());
    EXPECT_FALSE(FolderBookmark::make(pathOf("missing")));
    EXPECT_FALSE(FolderBookmark::make(writeFile("file", "x")));
}

TEST_F(FolderBookmarkTest, AStandInDiskIsFoundOnlyWhileMountedWherever)
{
    const QString disk = makeFolder("disk");
    if (!mountAt(disk)) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    ASSERT_TRUE(isMountPoint(disk + "/"));
    EXPECT_EQ(filesystemOf(disk), "tmpfs:pivra-disk");
    const QString photos = makeFolder("disk/Photos/2024");
    const std::optional<FolderBookmark> bookmark = FolderBookmark::make(photos);
    const std::optional<FolderBookmark> top = FolderBookmark::make(disk);
    ASSERT_TRUE(bookmark && top);
    EXPECT_EQ(bookmark->relativePath(), "Photos/2024");
    EXPECT_EQ(top->relativePath(), "");

    // The same filesystem seen at a second place only.
    const QString other = makeFolder("other");
    ASSERT_TRUE(mountAt(other, disk));
    unmount(disk);
    EXPECT_FALSE(isMountPoint(disk));
    for (const auto& [mark, path] : {std::pair{*bookmark, QString(other + "/Photos/2024")}, std::pair{*top, other}}) {
        const std::optional<ResolvedFolder> moved = mark.resolve();
        ASSERT_TRUE(moved);
        EXPECT_EQ(moved->path, path);
        EXPECT_TRUE(moved->stale);
        EXPECT_EQ(moved->identity.inode, mark.inode());
    }

    unmount(other);
    ASSERT_TRUE(QDir(disk).exists());
    EXPECT_FALSE(bookmark->resolve());
    EXPECT_FALSE(top->resolve());

    // A fresh tmpfs numbers its inodes from the start again: files take the
    // old folders' numbers, so that the new folders are new to the bookmark.
    ASSERT_TRUE(mountAt(disk));
    writeFile("disk/a", {});
    writeFile("disk/b", {});
    QDir().mkpath(photos);
    const std::optional<ResolvedFolder> recreated = bookmark->resolve();
    ASSERT_TRUE(recreated);
    EXPECT_EQ(recreated->path, photos);
    EXPECT_TRUE(recreated->stale);
    EXPECT_NE(recreated->identity.inode, bookmark->inode());
    EXPECT_EQ(recreated->filesystem, "tmpfs:pivra-disk");
}

} // namespace
} // namespace pivra
