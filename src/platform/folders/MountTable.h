#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <QMetaType>

#include <cstdint>
#include <optional>

namespace pivra {

// One line of the kernel's per-process mount table (/proc/self/mountinfo).
struct MountEntry {
    int mountId = 0;    // unique while mounted; the kernel may reuse it later
    QString root;       // the folder of the filesystem shown here; "/" unless a bind mount
    QString mountPoint;
    QString fsType;
    QString source;     // the device, share or pseudo name the filesystem came from
    // The filesystem's device number, as stat gives it for every file on it;
    // every mount of one filesystem has the same.
    std::uint64_t device = 0;
    QString options;    // the filesystem's own options ("rw,vers=3.1.1,serverino")

    bool operator==(const MountEntry& other) const = default;
};

// Reads mountinfo text. Paths, roots and sources have their octal escapes
// (\040 for a space, \134 for a backslash...) decoded, and are read as
// fileNameText() reads a path, so that bytes that are not UTF-8 are kept;
// lines without the expected fields are skipped.
QList<MountEntry> parseMountTable(const QByteArray& text);

// Reads the mount table file at `path` (a process's mountinfo); none when it
// cannot be read. The kernel makes it up in memory: reading it touches no disk.
std::optional<QList<MountEntry>> readMountTable(const QString& path);

// The mount that holds `path` (absolute, clean, links resolved): the one whose
// mount point is the longest folder prefix of it. Of mounts stacked at one
// point, the last in the table is the one in view.
std::optional<MountEntry> mountHolding(const QList<MountEntry>& table, const QString& path);

// Whether a mount is a volume the user would call a disk, rather than the
// system's own mounts, which come and go with snaps, containers and sessions:
//  - a network share (NFS, SMB, AFS, Ceph, SSHFS) is one;
//  - otherwise the source must be a block device (/dev/...), except loop
//    devices (snaps, disk images), with the filesystem's top folder mounted:
//    a bind mount of a folder (root other than "/", as containers do for
//    their /etc/hosts) adds no disk, and a FUSE filesystem other than fuseblk
//    has no disk behind it.
// tmpfs, overlay, proc, sysfs, cgroup, devtmpfs and the like have no device
// source and never count.
bool isRealVolume(const MountEntry& entry);

// Whether a mount is one of the kernel's own views of itself (proc, sysfs,
// cgroup, devpts, tracefs...), which never hold anyone's files. Everything
// else may hold a source's folder: disks, loop images, tmpfs, network shares
// and FUSE filesystems alike.
bool isPseudoFilesystem(const MountEntry& entry);

// Whether the mount's source names the share it shows, so that another
// filesystem mounted in its place would show under another name: a network
// share ("nas:/export/photos", "//nas/photos"); a FUSE filesystem of the
// plain type whose source is the folder it shows (bindfs: "/srv/photos"), or
// one of a named type whose source is a name of its own ("ann@host:/photos"
// for fuse.sshfs, "drive:Photos" for fuse.rclone) rather than the program's
// ("s3fs" for fuse.s3fs says nothing of the bucket); and the desktop's gvfs,
// whose shares each lie in a folder named after it below its one mount point
// (sharesByFolder).
bool namesItsShare(const MountEntry& entry);

// Whether the mount serves many shares, each in the folder below its mount
// point that is named after it ("smb-share:server=nas,share=photos",
// "mtp:host=…"), as the desktop's gvfs does.
bool sharesByFolder(const MountEntry& entry);

// Whether a share (namesItsShare) gives each of its files the same inode
// number at every mount, so that the number tells its folder from another
// one made in the folder's place while it was away. NFS and AFS hand on the
// server's file ids, Ceph the cluster's, and SMB the server's where the
// mount uses them ("serverino", the default; a server without ids turns it
// off, and the client then numbers files as it meets them). A FUSE
// filesystem numbers what it is asked about as it goes, unless its server
// hands on numbers of its own (use_ino), which the mount table does not
// tell: none is taken to keep them, so that a share's own folder is never
// refused for a number it was merely given anew.
bool keepsInodeNumbers(const MountEntry& entry);

// Whether `path` is `mountPoint` or lies below it.
bool liesUnder(const QString& path, const QString& mountPoint);

// What one reread of the table found, in table order.
struct MountChange {
    QList<MountEntry> mounted;
    QList<MountEntry> unmounted;

    bool isEmpty() const { return mounted.isEmpty() && unmounted.isEmpty(); }
};

// The mounts that may hold files (no pseudo-filesystem) in `after` and not in
// `before`, and the reverse. A mount is the same only with the same id, path,
// type, source and options, so a disk swapped for another at the same path
// between two reads shows as unmounted and mounted, as does one mounted again
// with other options (read-only).
MountChange diffMountTables(const QList<MountEntry>& before, const QList<MountEntry>& after);

} // namespace pivra

Q_DECLARE_METATYPE(pivra::MountEntry)
