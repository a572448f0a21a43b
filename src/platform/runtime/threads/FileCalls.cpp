#include "platform/runtime/threads/FileCalls.h"

#include "platform/runtime/threads/ThreadTimes.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace pivra {
namespace {

// Where a link of /proc leads; empty when it is gone.
QByteArray linkTarget(const char* link)
{
    char target[PATH_MAX + 1];
    const ssize_t length = ::readlink(link, target, PATH_MAX);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

} // namespace

std::optional<BlockedCall> blockedCall(pid_t task)
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
    BlockedCall call;
    call.number = std::strtol(text, &rest, 10);
    if (rest == text) {
        return std::nullopt;
    }
    if (call.number != -1) {
        for (unsigned long& argument : call.arguments) {
            argument = std::strtoul(rest, &rest, 16);
        }
    }
    return call;
}

FileArgument fileArgumentOf(long call)
{
    switch (call) {
    case -1:
        return FileArgument::fault;
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
    case SYS_close: // a share's file is handed what is still unwritten
        return FileArgument::descriptor;
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
        return FileArgument::path;
    case SYS_openat:
    case SYS_openat2:
    case SYS_newfstatat:
    case SYS_statx:
    case SYS_faccessat:
    case SYS_faccessat2:
    case SYS_readlinkat:
        return FileArgument::pathFrom;
    default:
        return FileArgument::none;
    }
}

QByteArray descriptorTarget(int descriptor)
{
    if (descriptor == AT_FDCWD) {
        return linkTarget("/proc/self/cwd");
    }
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    return linkTarget(link);
}

} // namespace pivra
