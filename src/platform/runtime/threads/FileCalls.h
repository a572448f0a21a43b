#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace pivra {

// What the kernel tells of a thread of this process that is asleep: the
// system call it waits in, and how that call names the file it may wait on.
// Read from /proc only, never from the file, so each answers at once while
// the disk or share the file lies on does not.

// The call a thread is asleep in, with its first two arguments.
struct BlockedCall {
    // -1: asleep outside any call, as while a page of a mapped file is
    // brought in; its arguments are then none.
    long number = 0;
    unsigned long arguments[2] = {};

    // The first argument as a descriptor: an int, whose register's upper
    // half may hold anything.
    int descriptor() const { return int(std::uint32_t(arguments[0])); }
};

// The call thread `task` of this process is asleep in; none when it is
// running or has ended.
std::optional<BlockedCall> blockedCall(pid_t task);

// Which arguments of a call that may wait on a file lead to it.
enum class FileArgument {
    none,
    descriptor, // the first: a descriptor
    path,       // the first: a path, from the working folder if relative
    pathFrom,   // the second: a path from the folder at the first, a
                // descriptor; empty, that descriptor itself (AT_EMPTY_PATH,
                // as glibc's fstat calls newfstatat)
    fault,      // none: a page of a mapped file, whichever file it is
};

FileArgument fileArgumentOf(long call);

// Where descriptor `descriptor` of this process leads, or for AT_FDCWD the
// working folder; empty when it leads nowhere that can be read.
QByteArray descriptorTarget(int descriptor);

} // namespace pivra
