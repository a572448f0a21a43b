#include "platform/runtime/threads/FileCallsInFlight.h"

#include "platform/runtime/threads/FileCalls.h"
#include "platform/runtime/threads/ThreadTimes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pivra {
namespace {

bool isOneOf(const QByteArray& path, const std::vector<QByteArray>& paths)
{
    return !path.isEmpty() && std::find(paths.begin(), paths.end(), path) != paths.end();
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

// The file, of `paths`, that the call `call` is on; empty when none is.
QByteArray fileOfCall(const BlockedCall& call, const std::vector<QByteArray>& paths)
{
    QByteArray file;
    switch (fileArgumentOf(call.number)) {
    case FileArgument::none:
    case FileArgument::fault: // which file's page, /proc does not tell
        break;
    case FileArgument::descriptor:
        file = descriptorTarget(call.descriptor());
        break;
    case FileArgument::path:
        file = fileNamed(AT_FDCWD, call.arguments[0]);
        break;
    case FileArgument::pathFrom:
        file = fileNamed(call.descriptor(), call.arguments[1]);
        break;
    }
    return isOneOf(file, paths) ? file : QByteArray();
}

} // namespace

std::vector<ThreadInFileCall> threadsInCallsOn(const std::vector<QByteArray>& paths)
{
    std::vector<ThreadInFileCall> threads;
    if (paths.empty()) {
        return threads;
    }
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        return threads;
    }
    while (const dirent* entry = ::readdir(tasks)) {
        const pid_t task = std::atoi(entry->d_name);
        const std::optional<ThreadTimes> times = task > 0 ? threadTimes(task) : std::nullopt;
        if (!times || times->runnable) {
            continue;
        }
        const std::optional<BlockedCall> call = blockedCall(task);
        if (!call) {
            continue;
        }
        if (QByteArray file = fileOfCall(*call, paths); !file.isEmpty()) {
            threads.push_back({task, call->number, call->arguments[0], std::move(file), times->runningNs});
        }
    }
    ::closedir(tasks);
    return threads;
}

bool fileCallInFlight(const std::vector<QByteArray>& paths)
{
    return !threadsInCallsOn(paths).empty();
}

} // namespace pivra
