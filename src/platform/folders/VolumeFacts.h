#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// The volume (mounted filesystem) that holds a path, as a folder source
// records it.
struct VolumeFacts {
    QString rootPath;                     // its mount point
    std::optional<QString> name;          // its label, else its mount folder's name; none for "/"
    std::optional<std::int64_t> capacity; // total size in bytes, when the filesystem tells
};

// None when the path's volume cannot be found, for example when the path does
// not exist.
std::optional<VolumeFacts> volumeFacts(const QString& path);

} // namespace pivra
