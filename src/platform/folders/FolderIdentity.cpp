#include "platform/folders/FolderIdentity.h"

#include "platform/folders/FileNameText.h"
#include "platform/folders/FolderWatcher.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace pivra {
namespace {

// Newer than the C library's headers: the mount id that is never reused.
constexpr unsigned mountIdUnique = 0x4000U;

std::atomic<bool> uniqueMountIdsUsed{true};

// Folder watches given up at once when a mark finds the limit reached: room
// for the marks of a few more disks, not one trip each.
constexpr int folderWatchesYielded = 16;

// Without unique mount ids (before Linux 6.8), the id of the mount is given
// to the next mount at once, so a disk swapped for another at the same place
// would pass as the same. An inotify watch tells it instead: the kernel
// drops it with its filesystem, and gives the folder met again on a
// filesystem mounted anew a watch of a new number, never one given before
// while the program runs (the numbers only grow). One instance serves every
// folder; its events are only read away, so that they do not pile up.
int folderMarks()
{
    static const int marks = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return marks;
}

std::optional<std::uint64_t> folderMarkOf(const QByteArray& path)
{
    const int marks = folderMarks();
    if (marks < 0) {
        return std::nullopt;
    }
    alignas(inotify_event) char events[4096];
    while (read(marks, events, sizeof events) > 0) {
    }
    int watch = inotify_add_watch(marks, path.constData(), IN_DELETE_SELF | IN_ONLYDIR);
    // These watches come before those that only tell of changes: at the
    // system's limit, folder watches make room for them.
    if (watch < 0 && errno == ENOSPC && yieldFolderWatches(folderWatchesYielded) > 0) {
        watch = inotify_add_watch(marks, path.constData(), IN_DELETE_SELF | IN_ONLYDIR);
    }
    if (watch < 0) {
        return std::nullopt;
    }
    // Apart from every unique mount id, which never comes near 2^63.
    constexpr std::uint64_t markTag = std::uint64_t(1) << 63;
    return markTag | std::uint64_t(watch);
}

} // namespace

bool isSameFolder(const FolderIdentity& recorded, const FolderIdentity& found)
{
    return recorded.device == found.device && recorded.inode == found.inode
           && (!recorded.birth || !found.birth || *recorded.birth == *found.birth);
}

std::optional<FolderIdentity> folderIdentity(const QString& path)
{
    return folderIdentityAt(AT_FDCWD, fileNameBytes(path).constData(), 0);
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
    const QByteArray name = fileNameBytes(path);
    struct statx values {};
    if (uniqueMountIdsUsed
        && statx(AT_FDCWD, name.constData(), AT_NO_AUTOMOUNT, STATX_MNT_ID | mountIdUnique, &values) == 0
        && (values.stx_mask & mountIdUnique) != 0) {
        return values.stx_mnt_id;
    }
    return folderMarkOf(name);
}

void useUniqueMountIds(bool use)
{
    uniqueMountIdsUsed = use;
}

} // namespace pivra
