#include "platform/folders/FileNameText.h"
#include "platform/folders/MountMonitor.h"
#include "platform/folders/MountTable.h"
#include "platform/folders/VolumeFacts.h"
#include "support/system/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

namespace pivra {
namespace {

// Lines as the kernel writes them, with the noise a desktop's table carries.
const QByteArray rootDisk = "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n";
const QByteArray usbStick = "90 27 8:17 / /media/ann/STICK rw,nosuid shared:40 - vfat /dev/sdb1 rw\n";
const QByteArray secondDisk = "91 27 8:33 / /media/ann/Photos rw - exfat /dev/sdc1 rw\n";
const QByteArray otherStickSamePath = "92 27 8:49 / /media/ann/STICK rw - vfat /dev/sdd1 rw\n";
const QByteArray tmpfs = "93 27 0:50 / /run/user/1000 rw - tmpfs tmpfs rw,mode=700\n";
const QByteArray overlay = "94 27 0:51 / /var/lib/docker/overlay2/ab/merged rw - overlay overlay rw\n";
const QByteArray snap = "95 27 7:3 / /snap/core22/864 ro shared:9 - squashfs /dev/loop3 ro\n";
const QByteArray containerHosts =
    "96 94 254:0 /var/lib/docker/containers/ab/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n";

TEST(MountTableTest, DisksAndSharesAreRealVolumesAndOnlyTheKernelsOwnViewsHoldNoFiles)
{
    const struct {
        const char* line;
        bool real;
        bool pseudo;
    } rows[] = {
        {usbStick.constData(), true, false},
        {"97 27 8:1 / /mnt/big rw - fuseblk /dev/sde1 rw,user_id=0\n", true, false},
        {"98 27 253:1 / /media/ann/Vault rw - ext4 /dev/mapper/luks-1f2e rw\n", true, false},
        {"99 27 0:60 / /mnt/nas rw - nfs4 nas:/export/photos rw\n", true, false},
        {"100 27 0:61 / /mnt/share rw - cifs //nas/photos rw\n", true, false},
        {tmpfs.constData(), false, false},
        {overlay.constData(), false, false},
        {snap.constData(), false, false},
        {containerHosts.constData(), false, false},
        {"101 27 0:62 / /run/user/1000/doc rw - fuse.portal portal rw\n", false, false},
        {"22 27 0:21 / /proc rw - proc proc rw\n", false, true},
        {"23 27 0:22 / /sys rw - sysfs sysfs rw\n", false, true},
        {"41 31 0:38 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n", false, true},
        {"24 27 0:6 / /dev rw - devtmpfs devtmpfs rw\n", false, true},
        {"25 24 0:23 / /dev/pts rw - devpts devpts rw\n", false, true},
        {"26 23 0:7 / /sys/kernel/debug rw - debugfs debugfs rw\n", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const QList<MountEntry> table = parseMountTable(row.line);
        ASSERT_EQ(table.size(), 1);
        EXPECT_EQ(isRealVolume(table[0]), row.real);
        EXPECT_EQ(isPseudoFilesystem(table[0]), row.pseudo);
    }
    EXPECT_TRUE(liesUnder("/mnt/a/Photos", "/mnt/a"));
    EXPECT_TRUE(liesUnder("/mnt/a", "/mnt/a"));
    EXPECT_TRUE(liesUnder("/mnt/a", "/"));
    EXPECT_FALSE(liesUnder("/mnt/ab", "/mnt/a"));
    EXPECT_FALSE(liesUnder("/mnt", "/mnt/a"));
}

// Whether a mount names the share it shows, and whether the share keeps its
// inode numbers from one mount to the next: network shares no test can mount
// here, and FUSE mounts as their programs make them.
TEST(MountTableTest, SharesAreNamedByTheirSourceAndKeepInodeNumbersWhereTheirServerGivesThem)
{
    const struct {
        const char* line;
        bool share;
        bool keepsInodes;
    } rows[] = {
        {"99 27 0:60 / /mnt/nas rw - nfs4 nas:/export/photos rw,vers=4.2,hard\n", true, true},
        {"99 27 0:60 / /mnt/nas rw - nfs nas:/photos rw,vers=3\n", true, true},
        {"100 27 0:61 / /mnt/share rw - cifs //nas/photos rw,vers=3.1.1,serverino,mapposix\n", true, true},
        {"100 27 0:61 / /mnt/share rw - smb3 //nas/photos rw,serverino\n", true, true},
        // A server without file ids: the client numbers the files itself.
        {"100 27 0:61 / /mnt/share rw - cifs //old/photos rw,vers=1.0,noserverino\n", true, false},
        {"101 27 0:62 / /mnt/photos rw - fuse /srv/photos rw,user_id=0\n", true, false},
        {"101 27 0:62 / /mnt/photos rw - fuse photos rw,user_id=0\n", false, false},
        {"102 27 0:63 / /home/ann/nas rw - fuse.sshfs ann@nas:/photos rw,user_id=1000\n", true, false},
        {"103 27 0:64 / /home/ann/drive rw - fuse.rclone drive:Photos rw,user_id=1000\n", true, false},
        {"104 27 0:65 / /home/ann/bucket rw - fuse.s3fs s3fs rw,user_id=1000\n", false, false},
        {"105 27 0:66 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw,user_id=1000\n", true, false},
        {"101 27 0:62 / /run/user/1000/doc rw - fuse.portal portal rw\n", false, false},
        {"97 27 8:1 / /mnt/big rw - fuseblk /dev/sde1 rw,user_id=0\n", false, false},
        {tmpfs.constData(), false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const QList<MountEntry> table = parseMountTable(row.line);
        ASSERT_EQ(table.size(), 1);
        EXPECT_EQ(namesItsShare(table[0]), row.share);
        if (row.share) {
            EXPECT_EQ(keepsInodeNumbers(table[0]), row.keepsInodes);
        }
    }
}

TEST(MountTableTest, DecodesEscapesAndSkipsMalformedLines)
{
    const QList<MountEntry> table = parseMountTable(
        "90 27 8:17 / /media/ann/My\\040Disk\\011x\\134y rw shared:4 master:2 - vfat /dev/sdb1 rw\n"
        "not a mount line\n"
        "91 27 8:18 / /media/ann/\xc3\x89t\xc3\xa9 rw - vfat /dev/sdb\\1342 rw\n"
        "92 27 8:19 / /media/ann/cut\\04 rw - vfat /dev/sdb3 rw\n"
        "93 27 8:20 / /media/ann/Caf\xe9\\040\xe9t\xe9 rw - vfat /dev/sdb4 rw\n");
    ASSERT_EQ(table.size(), 4);
    EXPECT_EQ(table[0], (MountEntry{90, "/", "/media/ann/My Disk\tx\\y", "vfat", "/dev/sdb1", makedev(8, 17), "rw"}));
    EXPECT_EQ(table[1].mountPoint, QString::fromUtf8("/media/ann/\xc3\x89t\xc3\xa9"));
    EXPECT_EQ(table[1].source, "/dev/sdb\\2");
    EXPECT_EQ(table[2].mountPoint, "/media/ann/cut\\04");
    // Not UTF-8: kept as the bytes the paths below it are.
    EXPECT_EQ(table[3].mountPoint, fileNameText("/media/ann/Caf\xe9 \xe9t\xe9"));
}

class MountMonitorTest : public test::TempFolderTest {};

// The mount points of the entries a signal argument holds.
QStringList pointsOf(const QVariant& argument)
{
    QStringList points;
    for (const MountEntry& entry : argument.value<QList<MountEntry>>()) {
        points.append(entry.mountPoint);
    }
    return points;
}

TEST_F(MountMonitorTest, OneSignalPerRereadWithTheMountsThatCameOrWent)
{
    const struct {
        const char* name;
        QByteArray before;
        QByteArray after;
        QStringList mounted;
        QStringList unmounted;
    } rows[] = {
        {"a stick plugged in", rootDisk, rootDisk + usbStick, {"/media/ann/STICK"}, {}},
        {"a stick removed", rootDisk + usbStick + tmpfs, rootDisk + tmpfs, {}, {"/media/ann/STICK"}},
        {"a tmpfs, a loop image and a bind mount",
         rootDisk,
         rootDisk + tmpfs + snap + containerHosts,
         {"/run/user/1000", "/snap/core22/864", "/etc/hosts"},
         {}},
        {"an overlay gone", rootDisk + tmpfs + overlay, rootDisk + tmpfs, {}, {"/var/lib/docker/overlay2/ab/merged"}},
        {"the kernel's own views", rootDisk, rootDisk + "22 27 0:21 / /proc rw - proc proc rw\n", {}, {}},
        {"several changes read together",
         rootDisk + usbStick,
         rootDisk + tmpfs + secondDisk + otherStickSamePath,
         {"/run/user/1000", "/media/ann/Photos", "/media/ann/STICK"},
         {"/media/ann/STICK"}},
        {"nothing changed", rootDisk + usbStick, rootDisk + usbStick, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = writeFile("mountinfo", row.before);
        MountMonitor monitor(path);
        QSignalSpy spy(&monitor, &MountMonitor::volumesChanged);
        writeFile("mountinfo", row.after);
        monitor.recheck();
        if (row.mounted.isEmpty() && row.unmounted.isEmpty()) {
            EXPECT_EQ(spy.count(), 0);
            continue;
        }
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(pointsOf(spy[0][0]), row.mounted);
        EXPECT_EQ(pointsOf(spy[0][1]), row.unmounted);
    }
}

TEST_F(MountMonitorTest, AnUnreadableTableIsSkippedNotReadAsEverythingUnmounted)
{
    const QString path = writeFile("mountinfo", rootDisk + usbStick);
    MountMonitor monitor(path);
    QSignalSpy spy(&monitor, &MountMonitor::volumesChanged);

    ASSERT_TRUE(QFile::remove(path));
    monitor.recheck();
    EXPECT_EQ(spy.count(), 0);

    writeFile("mountinfo", rootDisk + usbStick + secondDisk);
    monitor.recheck();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(pointsOf(spy[0][0]), QStringList{"/media/ann/Photos"});
    EXPECT_TRUE(pointsOf(spy[0][1]).isEmpty());
}

TEST(MountMonitorSystemTest, ThisProcessTableHoldsTheRootAndIsQuietWhenUnchanged)
{
    QFile file(MountMonitor::processMountTable);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<MountEntry> table = parseMountTable(file.readAll());
    EXPECT_TRUE(std::any_of(table.begin(), table.end(),
                            [](const MountEntry& entry) { return entry.mountPoint == "/"; }));

    MountMonitor monitor;
    QSignalSpy spy(&monitor, &MountMonitor::volumesChanged);
    monitor.recheck();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(MountMonitorTest, VolumeFactsOfTheTemporaryFolderAreSane)
{
    const std::optional<VolumeFacts> facts = volumeFacts(root());
    ASSERT_TRUE(facts.has_value());
    const QString canonicalRoot = QDir(root()).canonicalPath();
    EXPECT_TRUE(canonicalRoot == facts->rootPath
                || canonicalRoot.startsWith(QDir(facts->rootPath).filePath(QString())))
        << facts->rootPath.toStdString();
    ASSERT_TRUE(facts->capacity.has_value());
    EXPECT_GT(*facts->capacity, 0);
    EXPECT_EQ(facts->name.has_value(), facts->rootPath != "/");

    EXPECT_FALSE(volumeFacts(pathOf("missing/folder")).has_value());
}

} // namespace
} // namespace pivra
