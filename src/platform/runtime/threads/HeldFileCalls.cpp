#include "platform/runtime/threads/HeldFileCalls.h"

#include "platform/runtime/threads/FileCalls.h"
#include "platform/runtime/threads/ThreadTimes.h"

#include <dirent.h>

#include <cstdlib>
#include <optional>

namespace pivra {
namespace {

// Whether descriptor `descriptor` of this process leads to a file or folder,
// AT_FDCWD to the working folder. A call on a descriptor that names none
// readable (an ended one) counts too: it may have been handed a path, which
// only a disk or share answers.
bool leadsToAFile(int descriptor)
{
    const QByteArray target = descriptorTarget(descriptor);
    if (target.isEmpty()) {
        return true;
    }
    if (!target.startsWith('/')) {
        return false; // "pipe:[…]", "socket:[…]", "anon_inode:…"
    }
    for (const char* kernels : {"/dev/", "/proc/", "/sys/"}) {
        if (target.startsWith(kernels)) {
            return false;
        }
    }
    return true;
}

// The file call thread `task` is asleep in; none when it runs or waits for
// anything but a file.
std::optional<BlockedCall> fileCallOf(pid_t task)
{
    const std::optional<BlockedCall> call = blockedCall(task);
    if (!call) {
        return std::nullopt;
    }
    switch (fileArgumentOf(call->number)) {
    case FileArgument::none:
        return std::nullopt;
    case FileArgument::descriptor:
    case FileArgument::pathFrom:
        if (!leadsToAFile(call->descriptor())) {
            return std::nullopt;
        }
        break;
    case FileArgument::path:
    case FileArgument::fault:
        break;
    }
    return call;
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
            const std::optional<BlockedCall> call = fileCallOf(task);
            if (!call) {
                continue;
            }
            const Call seen{call->number, call->arguments[0], times->runningNs};
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
