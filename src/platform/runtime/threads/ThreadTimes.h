#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pivra {

// What the kernel's scheduler counts of one thread of this process. The time
// a thread was neither running nor ready to run is the time it slept: in a
// system call waiting for a disk, a lock or another thread. A busy machine,
// or a processor quota spent (cgroup cpu.max), lengthens only the time it
// waited ready to run.
struct ThreadTimes {
    std::int64_t runningNs = 0; // on a processor
    std::int64_t waitingNs = 0; // ready to run, waiting for one; counted when it gets one
    bool runnable = false;      // ready to run (or running) at the time of reading
};

// Reads a small file of /proc whole into `buffer`, ended by a NUL: its
// length, or -1.
ssize_t readProcFile(const char* path, char* buffer, std::size_t size);

// The calling thread's id, as threadTimes() takes it.
pid_t currentThreadId();

// The figures of thread `id` of this process; none where the kernel does not
// tell them (no scheduler statistics) or the thread has ended.
std::optional<ThreadTimes> threadTimes(pid_t id);

} // namespace pivra
