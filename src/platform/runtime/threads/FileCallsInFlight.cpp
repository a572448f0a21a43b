#include "platform/runtime/threads/FileCallsInFlight.h"

#include "platform/runtime/threads/ThreadTimes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pivra {
namespace {

// Which arguments of a call that may wait on a file lead to it.
enum class Names {
    none,
    descriptor, // the first: a descriptor
    path,       // the first: a path, from the working folder if relative
    pathFrom,   // the second: a path from the folder at the first, a
                // descriptor; empty, that descriptor itself (AT_EMPTY_PATH,
                // as glibc's fstat calls newfstatat)
};

Names namesItsFile(long call)
{
    switch (call) {
    case SYS_read:
    case SYS_pread64:
    case SYS_readv:
    case SYS_preadv:
    case SYS_preadv2:
    case SYS_write:
    case SYS_pwrite64:
    case SYS_writev:
    case SYS_pwritev:
    case SYS_pwritev2:
    case SYS_lseek:
    case SYS_fstat:
    case SYS_fstatfs:
    case SYS_fsync:
    case SYS_fdatasync:
    case SYS_ftruncate:
    case SYS_fallocate:
    case SYS_fadvise64:
    case SYS_readahead:
    case SYS_ioctl:
    case SYS_fcntl:
    case SYS_flock:
    case SYS_getdents64:
    case SYS_fgetxattr:
    case SYS_flistxattr:
        return Names::descriptor;
#ifdef SYS_open // calls only some architectures still have
    case SYS_open:
    case SYS_creat:
    case SYS_stat:
    case SYS_lstat:
    case SYS_access:
    case SYS_readlink:
#endif
    case SYS_statfs:
    case SYS_truncate:
    case SYS_getxattr:
    case SYS_lgetxattr:
    case SYS_listxattr:
    case SYS_llistxattr:
        return Names::path;
    case SYS_openat:
    case SYS_openat2:
    case SYS_newfstatat:
    case SYS_statx:
    case SYS_faccessat:
    case SYS_faccessat2:
    case SYS_readlinkat:
        return Names::pathFrom;
    default:
        return Names::none;
    }
}

bool isOneOf(const QByteArray& path, const std::vector<QByteArray>& paths)
{
    return !path.isEmpty() && std::find(paths.begin(), paths.end(), path) != paths.end();
}

// Where a link of /proc leads; empty when it is gone.
QByteArray linkTarget(const char* link)
{
    char target[PATH_MAX + 1];
    const ssize_t length = ::readlink(link, target, PATH_MAX);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

// Where descriptor `descriptor` of this process leads, or for AT_FDCWD the
// working folder.
QByteArray descriptorTarget(int descriptor)
{
    if (descriptor == AT_FDCWD) {
        return linkTarget("/proc/self/cwd");
    }
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    return linkTarget(link);
}

// The path a call of this process was handed at `address`; none when that
// memory cannot be read.
std::optional<QByteArray> pathAt(unsigned long address)
{
    std::array<char, PATH_MAX + 1> path{};
    // Copied a page at a time: the string may end just before memory that
    // is not mapped.
    std::size_t copied = 0;
    while (copied < PATH_MAX) {
        const std::size_t page = 4096 - (address + copied) % 4096;
        const std::size_t length = std::min(page, std::size_t(PATH_MAX) - copied);
        iovec local{path.data() + copied, length};
        iovec remote{reinterpret_cast<void*>(address + copied), length};
        const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        if (got <= 0) {
            return std::nullopt;
        }
        if (std::memchr(path.data() + copied, '\0', std::size_t(got)) != nullptr) {
            return QByteArray(path.data());
        }
        copied += std::size_t(got);
    }
    return std::nullopt;
}

// The file a call names by the path at `address`, from the folder at
// `descriptor` when the path is relative.
QByteArray fileNamed(int descriptor, unsigned long address)
{
    const std::optional<QByteArray> path = pathAt(address);
    if (!path || path->startsWith('/')) {
        return path.value_or(QByteArray());
    }
    const QByteArray from = descriptorTarget(descriptor);
    if (path->isEmpty() || from.isEmpty()) {
        return from;
    }
    return QByteArray(from).append('/').append(*path);
}

bool threadWaitsOn(pid_t task, const std::vector<QByteArray>& paths)
{
    const std::optional<ThreadTimes> times = threadTimes(task);
    if (!times || times->runnable) {
        return false;
    }
    char file[96];
    char text[512];
    // "<call> <argument 1> ... <argument 6> <stack> <address>" while
    // blocked, "running" or "-1 ..." otherwise.
    std::snprintf(file, sizeof file, "/proc/self/task/%d/syscall", int(task));
    if (readProcFile(file, text, sizeof text) <= 0) {
        return false;
    }
    char* rest = nullptr;
    const long call = std::strtol(text, &rest, 10);
    if (rest == text) {
        return false;
    }
    unsigned long arguments[2] = {};
    for (unsigned long& argument : arguments) {
        argument = std::strtoul(rest, &rest, 16);
    }
    // A descriptor is an int: the register's upper half may hold anything.
    const auto descriptor = int(std::uint32_t(arguments[0]));
    switch (namesItsFile(call)) {
    case Names::none:
        return false;
    case Names::descriptor:
        return isOneOf(descriptorTarget(descriptor), paths);
    case Names::path:
        return isOneOf(fileNamed(AT_FDCWD, arguments[0]), paths);
    case Names::pathFrom:
        return isOneOf(fileNamed(descriptor, arguments[1]), paths);
    }
    return false;
}

} // namespace

bool fileCallInFlight(const std::vector<QByteArray>& paths)
{
    if (paths.empty()) {
        return false;
    }
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        return false;
    }
    bool waits = false;
    while (const dirent* task = ::readdir(tasks)) {
        const int id = std::atoi(task->d_name);
        if (id > 0 && threadWaitsOn(id, paths)) {
            waits = true;
            break;
        }
    }
    ::closedir(tasks);
    return waits;
}

} // namespace pivra
