#pragma once

#include <QString>

#include <optional>

namespace pivra {

// The UUID in the superblock of the filesystem on the block device at
// `deviceNode`, read with libblkid, which opens the node read-only and writes
// nothing (no cache file). None when the node is no block device, cannot be
// read (an ordinary user may not read a disk's node), holds no filesystem or
// more than one signature, or the filesystem has no UUID. Reads the disk.
std::optional<QString> filesystemUuid(const QString& deviceNode);

} // namespace pivra
