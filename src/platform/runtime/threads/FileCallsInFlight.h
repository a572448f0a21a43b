#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace pivra {

// A thread of this process asleep in a system call on a file, as one look
// at /proc saw it.
struct ThreadInFileCall {
    pid_t task = 0;
    long call = 0;                   // the call's number
    unsigned long firstArgument = 0; // a descriptor, a path's address...
    QByteArray file;                 // the one of the paths asked about
    std::int64_t runningNs = 0;      // the thread's time on a processor so far
};

// The threads of this process asleep in a call on one of the files at
// `paths`, as fileCallInFlight() tells them; none where the kernel does not
// tell.
std::vector<ThreadInFileCall> threadsInCallsOn(const std::vector<QByteArray>& paths);

// Whether a thread of this process is held inside a system call on one of
// the files at `paths` (local paths as the kernel spells them): one that
// names it by its path (opening, looking up or checking it), or one on a
// descriptor that leads to it (reading, seeking, a stat of the open file).
// Such a thread waits for the disk or share the file lies on; a thread that
// waits for another thread, a timer or a socket does not count.
//
// Read from /proc: what each thread is blocked in (`syscall`), where its
// descriptor leads (`fd`), and the path it handed the kernel, copied from
// this process's memory with process_vm_readv, which fails instead of
// faulting when that memory has gone meanwhile. Never touches the file
// itself, so it answers at once while the share does not. False where the
// kernel does not tell.
bool fileCallInFlight(const std::vector<QByteArray>& paths);

} // namespace pivra
