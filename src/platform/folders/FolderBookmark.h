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
    // The folder is no longer exactly what was recorded (another path, or
    // another folder at the recorded path): the caller records a new bookmark.
    bool stale = false;
    FolderIdentity identity;
    // The filesystem it lies on now (filesystemOf), none when it cannot be told.
    std::optional<QString> filesystem;
};

// What a folder source keeps so that it finds its folder again: the path, the
// filesystem it lies on, the path below that filesystem's mount point, and
// the folder's device and inode. A disk that comes back at another mount
// point is found through its filesystem; a folder renamed or moved on its
// filesystem is found through its inode, by a bounded search around the
// recorded place. Stored as a small JSON object:
//   {"version":1,"path":…,"filesystem":…,"relativePath":…,"device":…,"inode":…,"birth":…}
// The birth time (where the filesystem keeps one) tells the folder from a
// later one that was given its freed inode number.
// A record holding only "version" and "path" resolves by its path alone.
class FolderBookmark {
public:
    // The bookmark of the folder at `path`; none when it is no folder that
    // can be looked at.
    static std::optional<FolderBookmark> make(const QString& path);
    // A bookmark with nothing but a path, resolved by that path alone.
    static FolderBookmark ofPath(const QString& path);

    // None for bytes that are not a bookmark record of a known version.
    static std::optional<FolderBookmark> decode(const QByteArray& data);
    QByteArray encode() const;

    const QString& path() const { return path_; }
    const std::optional<QString>& filesystem() const { return filesystem_; }
    const std::optional<QString>& relativePath() const { return relativePath_; }
    const std::optional<std::uint64_t>& device() const { return device_; }
    const std::optional<std::uint64_t>& inode() const { return inode_; }
    const std::optional<std::uint64_t>& birth() const { return birth_; }

    // Finds the folder. None when the filesystem it was on is not mounted,
    // or nothing of the folder is left there. Reads the mount table and the
    // disk: a few system calls when the folder is where it was, a bounded
    // walk when it moved.
    std::optional<ResolvedFolder> resolve() const;

    bool operator==(const FolderBookmark&) const = default;

private:
    QString path_;
    std::optional<QString> filesystem_;
    std::optional<QString> relativePath_;
    std::optional<std::uint64_t> device_;
    std::optional<std::uint64_t> inode_;
    std::optional<std::uint64_t> birth_;
};

// The identity of the filesystem holding `path`: its UUID when the system
// knows one, else its type and source (a network share, a tmpfs), followed
// by the mounted folder of it when that is not its top (a bind mount). None
// when no mount holds the path.
std::optional<QString> filesystemOf(const QString& path);

// Whether `path` is the mount point of a mounted filesystem now. A disk's
// mount folder often stays behind when the disk goes, so existing says
// nothing about the disk being there.
bool isMountPoint(const QString& path);

} // namespace pivra
