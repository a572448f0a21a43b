#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// The file system's identity of a folder: its device and inode. A folder
// source whose disk was unmounted and remounted, or replaced by an empty
// mount point, keeps its path but not its identity.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FolderIdentity&) const = default;
};

// The identity of the folder at `path` (following links), or none when it
// cannot be read or is no folder.
std::optional<FolderIdentity> folderIdentity(const QString& path);

} // namespace pivra
