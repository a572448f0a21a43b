#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// Files counted and the bytes they take, by one of the two measures below.
struct StorageMeasure {
    int count = 0;
    std::int64_t bytes = 0;

    bool operator==(const StorageMeasure&) const = default;
};

// The space a file occupies on disk (its allocated blocks), not its length;
// none when the file cannot be measured.
std::optional<std::int64_t> allocatedSize(const QString& path);

// Every regular file under the folder, at any depth and hidden ones included,
// with the sum of their lengths. Folders and symbolic links are walked or
// skipped but not counted; a missing folder measures (0, 0).
StorageMeasure diskStats(const QString& directory);

} // namespace pivra
