#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// Where a process's control groups are read: the file listing its groups
// (/proc/self/cgroup) and the folder the hierarchies are mounted under
// (/sys/fs/cgroup); tests point both at a made-up folder.
struct CgroupFiles {
    QString membership = QStringLiteral("/proc/self/cgroup");
    QString root = QStringLiteral("/sys/fs/cgroup");
};

// The least memory limit of the control groups the process is in (a systemd
// slice, a container): cgroup v2's memory.max, or v1's memory.limit_in_bytes
// under the memory controller's mount, of its own group and of every group
// above it, as each of them caps it. None when no group sets a limit (v2's
// "max", v1's near-2^63) or none can be read.
std::optional<std::int64_t> cgroupMemoryLimit(const CgroupFiles& files = {});

// The memory this process may use: the machine's, or its control groups'
// limit when that is less.
std::int64_t usableMemory(const CgroupFiles& files = {});

} // namespace pivra
