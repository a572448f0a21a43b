#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
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

// The allocated sizes of the files of the valid media keys among `keys`, as
// `fileOfKey` names them: a key listed twice counts twice; invalid keys and
// files that are missing or cannot be measured are skipped.
StorageMeasure footprint(const QStringList& keys, const std::function<QString(const QString& key)>& fileOfKey);

// Every regular file under the folder, at any depth and hidden ones included,
// with the sum of their lengths. Folders and symbolic links are walked or
// skipped but not counted; a missing folder measures (0, 0).
StorageMeasure diskStats(const QString& directory);

} // namespace pivra
