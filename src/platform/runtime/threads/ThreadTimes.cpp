#include "platform/runtime/threads/ThreadTimes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pivra {

ssize_t readProcFile(const char* path, char* buffer, std::size_t size)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const ssize_t length = ::read(fd, buffer, size - 1);
    ::close(fd);
    if (length >= 0) {
        buffer[length] = '\0';
    }
    return length;
}

pid_t currentThreadId()
{
    return ::gettid();
}

std::optional<ThreadTimes> threadTimes(pid_t id)
{
    char path[64];
    char text[512];
    ThreadTimes times;

    // "<ns on a processor> <ns waiting on a run queue> <time slices>"
    std::snprintf(path, sizeof path, "/proc/self/task/%d/schedstat", int(id));
    if (readProcFile(path, text, sizeof text) <= 0) {
        return std::nullopt;
    }
    char* rest = nullptr;
    times.runningNs = std::strtoll(text, &rest, 10);
    times.waitingNs = std::strtoll(rest, nullptr, 10);

    // "<id> (<name>) <state> ...": the name may hold spaces and parentheses.
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", int(id));
    if (readProcFile(path, text, sizeof text) <= 0) {
        return std::nullopt;
    }
    const char* nameEnd = std::strrchr(text, ')');
    if (nameEnd == nullptr || nameEnd[1] != ' ') {
        return std::nullopt;
    }
    times.runnable = nameEnd[2] == 'R';
    return times;
}

} // namespace pivra
