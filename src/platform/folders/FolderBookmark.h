#pragma once

#include "platform/folders/FolderIdentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// Where the folder lies now, as a bookmark found it.
struct ResolvedFolder {
    QString path;
    // The record no longer says exactly where the folder lies (another path,
    // mount point or device number): the caller keeps relocated() of it.
    bool stale = false;
    // Its identity now; the device number may differ from the recorded one.
    FolderIdentity identity;
    // The filesystem it lies on (as filesystemOf names it) and its path below
    // that filesystem's mount point.
    QString filesystem;
    QString relativePath;
    // The mount it was found on (mountIdOf).
    std::optional<std::uint64_t> mount;
    // Whether what was found is the recorded folder by its own marks: its
    // filesystem is named by a UUID or names its share, or its birth time is
    // the recorded one to the nanosecond. Otherwise (a disk without a UUID
    // whose folders have no birth time, or only whole seconds of one, as the
    // folders mkfs makes) another disk put at the same place would look the
    // same, and only having held the folder on this very mount vouches for it.
    bool proven = false;
    // Known by its share's name and its path below it alone: the share
    // numbers its files anew at each mount, so the inode the folder has now
    // is the one to hold it to (relocated() records it).
    bool byPlace = false;
};

// What a folder source keeps so that it finds its folder again, and only
// that folder: the path, the filesystem it lies on, the path below that
// filesystem's mount point, and the folder's device, inode and birth time.
// A disk that comes back at another mount point is found through its
// filesystem's UUID; a folder renamed or moved on its filesystem is found
// through its inode, by a bounded search around the recorded place. A share
// (a network filesystem, or a FUSE one whose source names what it shows) is
// known by its name and the folder's path below its mount point, under
// whichever device number each mount gives it, and by the folder's inode only
// where the share keeps its inode numbers. Stored as a small JSON object:
//   {"version":1,"path":…,"filesystem":…,"relativePath":…,"device":…,"inode":…,"birth":…}
// The birth time (where the filesystem keeps one) tells the folder from a
// later one that was given its freed inode number. A record holding only
// "version" and "path" (written by earlier versions) is still read, so that
// it is not lost, but names no folder: it never resolves.
class FolderBookmark {
public:
    // The bookmark of the folder at `path`; none when it is no folder that
    // can be looked at, or no mount holds it.
    static std::optional<FolderBookmark> make(const QString& path);

    // None for bytes that are not a bookmark record of a known version.
    static std::optional<FolderBookmark> decode(const QByteArray& data);
    QByteArray encode() const;

    const QString& path() const { return path_; }
    const std::optional<QString>& filesystem() const { return filesystem_; }
    const std::optional<QString>& relativePath() const { return relativePath_; }
    const std::optional<std::uint64_t>& device() const { return device_; }
    const std::optional<std::uint64_t>& inode() const { return inode_; }
    const std::optional<std::uint64_t>& birth() const { return birth_; }
    // The recorded device, inode and birth time; none for a record without
    // an inode. relocated(found).identity() is the recorded folder with the
    // device number it has now.
    std::optional<FolderIdentity> identity() const;

    // Finds the recorded folder: on a mount of the recorded filesystem, with
    // the recorded inode, and the recorded birth time where both are known.
    // A filesystem named by its UUID or by its share may come back under
    // another device number (another port, another loop device, the share's
    // next mount); one otherwise named by its type, source and mount point (a
    // tmpfs) must keep its device number unless the birth time, known on both
    // sides, vouches for the folder. On a share that numbers its files anew
    // at each mount, the folder at the recorded path below the mount point is
    // the one, whatever its inode, and a moved one is not looked for. None
    // when the filesystem is not mounted, the folder is not found, or the
    // record is a path alone: another folder where this one was is never
    // taken for it, but on such a share, where nothing tells the two apart.
    // Reads the mount table and the disk: a few system calls when the folder
    // is where it was, a bounded walk when it moved.
    std::optional<ResolvedFolder> resolve() const;

    // This record updated to where resolve() found the folder: its path,
    // filesystem, relative path and device number, keeping the recorded inode
    // (but on a share that numbers its files anew: byPlace) and birth time.
    // Reads nothing, so that no other folder put in the found one's place
    // meanwhile can be recorded instead.
    FolderBookmark relocated(const ResolvedFolder& found) const;

    bool operator==(const FolderBookmark&) const = default;

private:
    QString path_;
    std::optional<QString> filesystem_;
    std::optional<QString> relativePath_;
    std::optional<std::uint64_t> device_;
    std::optional<std::uint64_t> inode_;
    std::optional<std::uint64_t> birth_;
};

// The one spelling of a folder's path that a source keeps, so that one file
// has one path: absolute, without "." or ".." steps and without doubled or
// trailing slashes. Links stay as they are (".." is taken by name).
QString cleanFolderPath(const QString& path);

// The name of the filesystem holding `path`: its UUID, from udev's
// /dev/disk/by-uuid links or else read from the superblock (as root, or
// where the device node may be read); else, for a filesystem without one (a
// tmpfs, a network share, a disk that cannot be read), its type and source
// together with its mount point ("tmpfs:tmpfs on /dev/shm"), so that two of
// them at different places never share a name. A bind mount, which shows a
// folder of the filesystem rather than its top, adds that folder to the UUID
// or the source ("<UUID>/photos", "tmpfs:tmpfs/photos on /mnt/a"). A mount
// serving many shares each in a folder of their own (gvfs) adds the folder
// of the share the path lies in to its mount point
// ("fuse.gvfsd-fuse:gvfsd-fuse on /run/user/1000/gvfs/smb-share:server=nas,share=photos").
// None when no mount holds the path.
std::optional<QString> filesystemOf(const QString& path);

// Whether `path` is the mount point of a mounted filesystem now. A disk's
// mount folder often stays behind when the disk goes, so existing says
// nothing about the disk being there.
bool isMountPoint(const QString& path);

} // namespace pivra
