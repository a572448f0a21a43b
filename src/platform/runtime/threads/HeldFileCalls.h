#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>

namespace pivra {

// Looks, as often as asked, for a thread of this process that stays held in
// one system call on a file: a read, an open, a look at its size or place,
// a close, or a page of a mapped file being brought in. A disk or share that
// never answers holds such a thread for good, and nothing the process does
// can move it on; one that is only slow lets it go between two looks.
//
// Files only: a call on a pipe, a socket, a device or the kernel's own
// files waits for another program or for an event, not for storage. Reads
// /proc only, never the file, so it answers at once while the share does not.
class HeldFileCalls {
public:
    // Whether a thread seen held in a call on a file at the last look is
    // still held in that same call, not having run since. The first look
    // finds none.
    bool lookAgain();

private:
    struct Call {
        long number = 0;
        unsigned long firstArgument = 0;
        std::int64_t runningNs = 0;
        bool operator==(const Call&) const = default;
    };
    std::map<pid_t, Call> held_;
};

} // namespace pivra
