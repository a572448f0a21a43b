#include "platform/runtime/threads/FileCallsInFlight.h"

#include "platform/runtime/threads/ThreadTimes.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pivra {
namespace {

// Which argument of a call that waits on a file names it.
enum class Names { none, descriptor, firstPath, secondPath };

Names namesItsFile(long call)
{
    switch (call) {
    case SYS_read:
    case SYS_pread64:
    case SYS_readv:
    case SYS_preadv:
    case SYS_preadv2:
        return Names::descriptor;
#ifdef SYS_open // calls only some architectures still have
    case SYS_open:
    case SYS_stat:
    case SYS_lstat:
    case SYS_access:
    case SYS_readlink:
        return Names::firstPath;
#endif
    case SYS_openat:
    case SYS_openat2:
    case SYS_newfstatat:
    case SYS_statx:
    case SYS_faccessat:
    case SYS_faccessat2:
    case SYS_readlinkat:
        return Names::secondPath;
    default:
        return Names::none;
    }
}

bool isOneOf(const char* path, const std::vector<QByteArray>& paths)
{
    return std::any_of(paths.begin(), paths.end(), [path](const QByteArray& wanted) { return wanted == path; });
}

// The path a call of this process was handed at `address`; empty when that
// memory cannot be read.
std::array<char, PATH_MAX + 1> pathAt(unsigned long address)
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
            path[0] = '\0';
            return path;
        }
        if (std::memchr(path.data() + copied, '\0', std::size_t(got)) != nullptr) {
            return path;
        }
        copied += std::size_t(got);
    }
    path[0] = '\0';
    return path;
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
    switch (namesItsFile(call)) {
    case Names::none:
        return false;
    case Names::descriptor: {
        char link[64];
        char target[PATH_MAX + 1];
        std::snprintf(link, sizeof link, "/proc/self/fd/%lu", arguments[0]);
        const ssize_t length = ::readlink(link, target, PATH_MAX);
        if (length <= 0) {
            return false;
        }
        target[length] = '\0';
        return isOneOf(target, paths);
    }
    case Names::firstPath:
        return isOneOf(pathAt(arguments[0]).data(), paths);
    case Names::secondPath:
        return isOneOf(pathAt(arguments[1]).data(), paths);
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
