#include "platform/folders/FolderIdentity.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace pivra {
namespace {

// Newer than the C library's headers: the mount id that is never reused.
constexpr unsigned mountIdUnique = 0x4000U;

} // namespace

bool isSameFolder(const FolderIdentity& recorded, const FolderIdentity& found)
{
    return recorded.device == found.device && recorded.inode == found.inode
           && (!recorded.birth || !found.birth || *recorded.birth == *found.birth);
}

std::optional<FolderIdentity> folderIdentity(const QString& path)
{
    return folderIdentityAt(AT_FDCWD, QFile::encodeName(path).constData(), 0);
}

std::optional<FolderIdentity> folderIdentityAt(int folder, const char* name, int flags)
{
    // Like stat(), which leaves an automount point as it is.
    struct statx values {};
    if (statx(folder, name, flags | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO | STATX_BTIME, &values) != 0
        || !S_ISDIR(values.stx_mode)) {
        return std::nullopt;
    }
    FolderIdentity identity{static_cast<std::uint64_t>(makedev(values.stx_dev_major, values.stx_dev_minor)),
                            static_cast<std::uint64_t>(values.stx_ino)};
    if ((values.stx_mask & STATX_BTIME) != 0) {
        identity.birth =
            static_cast<std::uint64_t>(values.stx_btime.tv_sec) * 1'000'000'000U + values.stx_btime.tv_nsec;
    }
    return identity;
}

std::optional<std::uint64_t> mountIdOf(const QString& path)
{
    struct statx values {};
    if (statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_NO_AUTOMOUNT, STATX_MNT_ID | mountIdUnique, &values)
        != 0
        || (values.stx_mask & (STATX_MNT_ID | mountIdUnique)) == 0) {
        return std::nullopt;
    }
    return values.stx_mnt_id;
}

} // namespace pivra
