#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// The file system's identity of a folder: its device, its inode and, where
// the filesystem keeps one, its birth time. A folder source whose disk was
// unmounted and remounted, or replaced by an empty mount point, keeps its
// path but not its identity; a folder deleted and made anew may be given the
// freed inode number, but not the old birth time.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::optional<std::uint64_t> birth; // nanoseconds since 1970, where known

    bool operator==(const FolderIdentity&) const = default;
};

// Whether `found` is the folder `recorded` names: the same device and inode,
// and the same birth time where both are known.
bool isSameFolder(const FolderIdentity& recorded, const FolderIdentity& found);

// The identity of the folder at `path` (following links), or none when it
// cannot be read or is no folder.
std::optional<FolderIdentity> folderIdentity(const QString& path);

// The same for the entry `name` of the folder open as the descriptor `folder`
// (AT_FDCWD: the working folder), read with statx's `flags`: AT_EMPTY_PATH
// with "" for `folder` itself, AT_SYMLINK_NOFOLLOW not to follow a link.
std::optional<FolderIdentity> folderIdentityAt(int folder, const char* name, int flags);

// The mount the folder at `path` lies on, by an id that nothing mounted
// later while the program runs is given: the kernel's unique mount id (Linux
// 6.8 and later), else the number of a watch kept on the folder, which the
// kernel drops when the folder's filesystem goes. None when neither can be
// had; then nothing vouches for the mount.
std::optional<std::uint64_t> mountIdOf(const QString& path);

// Off, mountIdOf takes the way of a kernel without unique mount ids, as
// Debian 12's is. For tests.
void useUniqueMountIds(bool use);

} // namespace pivra
