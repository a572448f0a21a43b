#include "platform/runtime/threads/HeldFileCalls.h"

#include "platform/runtime/threads/ThreadTimes.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pivra {
namespace {

// Which argument of a call that may wait on a file names it.
enum class Names { none, descriptor, path, fault };

Names namesItsFile(long call)
{
    switch (call) {
    case -1: // asleep outside any call: a page of a mapped file
        return Names::fault;
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
    case SYS_fstat:
    case SYS_fstatfs:
    case SYS_lseek:
    case SYS_getdents64:
    case SYS_fsync:
    case SYS_fdatasync:
    case SYS_close:
    // Given a descriptor and an empty path, as glibc's fstat() asks.
    case SYS_newfstatat:
    case SYS_statx:
        return Names::descriptor;
#ifdef SYS_open // calls only some architectures still have
    case SYS_open:
    case SYS_stat:
    case SYS_lstat:
    case SYS_access:
    case SYS_readlink:
#endif
    case SYS_openat:
    case SYS_openat2:
    case SYS_faccessat:
    case SYS_faccessat2:
    case SYS_readlinkat:
    case SYS_statfs:
        return Names::path;
    default:
        return Names::none;
    }
}

// Whether descriptor `fd` of this process leads to a file or folder. A call
// on a descriptor that names none (AT_FDCWD, a path given instead, an
// ended descriptor) counts too: it was handed a path, which only a disk or
// share answers.
bool leadsToAFile(unsigned long fd)
{
    char link[64];
    char target[PATH_MAX + 1];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", int(fd));
    const ssize_t length = ::readlink(link, target, PATH_MAX);
    if (length <= 0) {
        return true;
    }
    target[length] = '\0';
    if (target[0] != '/') {
        return false; // "pipe:[…]", "socket:[…]", "anon_inode:…"
    }
    for (const char* kernels : {"/dev/", "/proc/", "/sys/"}) {
        if (std::strncmp(target, kernels, std::strlen(kernels)) == 0) {
            return false;
        }
    }
    return true;
}

// The file call thread `task` is asleep in; none when it runs, is ready to,
// or waits for anything but a file.
std::optional<std::pair<long, unsigned long>> fileCallOf(pid_t task)
{
    char file[96];
    char text[512];
    // "<call> <argument 1> ... <argument 6> <stack> <address>" while
    // blocked, "-1 <stack> <address>" outside any call, "running" otherwise.
    std::snprintf(file, sizeof file, "/proc/self/task/%d/syscall", int(task));
    if (readProcFile(file, text, sizeof text) <= 0) {
        return std::nullopt;
    }
    char* rest = nullptr;
    const long call = std::strtol(text, &rest, 10);
    if (rest == text) {
        return std::nullopt;
    }
    const unsigned long first = std::strtoul(rest, &rest, 16);
    switch (namesItsFile(call)) {
    case Names::none:
        return std::nullopt;
    case Names::descriptor:
        if (!leadsToAFile(first)) {
            return std::nullopt;
        }
        break;
    case Names::path:
    case Names::fault:
        break;
    }
    return std::pair{call, first};
}

} // namespace

bool HeldFileCalls::lookAgain()
{
    std::map<pid_t, Call> held;
    bool stillHeld = false;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks)) {
            const pid_t task = std::atoi(entry->d_name);
            if (task <= 0) {
                continue;
            }
            const std::optional<ThreadTimes> times = threadTimes(task);
            if (!times || times->runnable) {
                continue;
            }
            const auto call = fileCallOf(task);
            if (!call) {
                continue;
            }
            const Call seen{call->first, call->second, times->runningNs};
            const auto before = held_.find(task);
            stillHeld = stillHeld || (before != held_.end() && before->second == seen);
            held.emplace(task, seen);
        }
        ::closedir(tasks);
    }
    held_ = std::move(held);
    return stillHeld;
}

} // namespace pivra
