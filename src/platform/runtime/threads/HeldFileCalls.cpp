#include "platform/runtime/threads/HeldFileCalls.h"

#include "platform/runtime/threads/FileCallsInFlight.h"

#include <mntent.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace pivra {
namespace {

// Filesystems whose files a server elsewhere answers for: the kernel's
// network clients, and FUSE ("fuse", "fuse.sshfs"...), whose program may
// stop answering as a server does.
bool isServed(std::string_view type)
{
    constexpr std::string_view network[] = {"nfs",  "nfs4", "cifs",      "smb3",   "smbfs", "afs",
                                            "ceph", "9p",   "glusterfs", "lustre", "ncpfs"};
    return type == "fuse" || type.starts_with("fuse.")
           || std::find(std::begin(network), std::end(network), type) != std::end(network);
}

bool isAtOrBelow(const QByteArray& path, std::string_view point)
{
    const std::string_view file(path.constData(), std::size_t(path.size()));
    return point == "/" || file == point
           || (file.starts_with(point) && file.size() > point.size() && file[point.size()] == '/');
}

// Whether the filesystem holding `path` is served from elsewhere. Of mounts
// stacked at one point, the last in the table is the one in view. The
// kernel writes the table in memory as it is read: no disk is touched.
bool liesOnAShare(const QByteArray& path)
{
    FILE* table = ::setmntent("/proc/self/mounts", "re");
    if (table == nullptr) {
        return false;
    }
    std::size_t longest = 0;
    bool served = false;
    mntent entry{};
    char buffer[4 * 4096];
    while (::getmntent_r(table, &entry, buffer, sizeof buffer) != nullptr) {
        const std::string_view point(entry.mnt_dir);
        if (isAtOrBelow(path, point) && point.size() >= longest) {
            longest = point.size();
            served = isServed(entry.mnt_type);
        }
    }
    ::endmntent(table);
    return served;
}

} // namespace

std::vector<QByteArray> HeldFileCalls::lookAgain(const std::vector<QByteArray>& files)
{
    std::map<pid_t, Call> seen;
    std::vector<QByteArray> held;
    for (ThreadInFileCall& thread : threadsInCallsOn(files)) {
        Call call{thread.call, thread.firstArgument, thread.runningNs, std::move(thread.file)};
        const auto before = seen_.find(thread.task);
        if (before != seen_.end() && before->second == call
            && std::find(held.begin(), held.end(), call.file) == held.end()) {
            held.push_back(call.file);
        }
        seen.emplace(thread.task, std::move(call));
    }
    seen_ = std::move(seen);
    std::erase_if(held, [](const QByteArray& file) { return !liesOnAShare(file); });
    return held;
}

} // namespace pivra
