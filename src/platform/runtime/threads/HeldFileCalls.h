#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <vector>

namespace pivra {

// Looks, as often as asked, for threads of this process that stay held in
// one system call on one of the files asked about (a read, an open, a look
// at its size or place, a close), where that file lies on a network share
// or a FUSE filesystem. Such a share may never answer: a NAS switched off
// holds a call on a hard NFS mount for good, and a FUSE program that stopped
// (an sshfs whose server went) holds every call on its files; nothing the
// process does can move that thread on. A share only slow lets it go between
// two looks. A local disk, however slow (a USB disk spinning up, a disk of
// 3 MB/s), answers in the end, or the kernel fails the call for it: a call
// on one never counts, nor does one on anything else a path may name (a
// pipe, a socket, a device).
//
// Which filesystem holds a file is read from the mount table, by the longest
// mount point the kernel's spelling of its path lies under. A FUSE program
// reading a local disk's NTFS or exFAT (fuseblk) counts as that local disk.
// A named pipe lying on a share counts as a file of it: only a look at it
// would tell it is none, and the share may not answer that look.
//
// Reads /proc only, never the files, so it answers at once while the share
// does not.
class HeldFileCalls {
public:
    // Of `files` (paths as the kernel spells them), those on a share that a
    // thread seen in a call on at the last look is still in: the same call,
    // the thread not having run since. The first look finds none.
    std::vector<QByteArray> lookAgain(const std::vector<QByteArray>& files);

private:
    struct Call {
        long number = 0;
        unsigned long firstArgument = 0;
        std::int64_t runningNs = 0;
        QByteArray file;
        bool operator==(const Call&) const = default;
    };
    std::map<pid_t, Call> seen_;
};

} // namespace pivra
