#include "media/thumbnails/cache/ThumbnailCacheStats.h"

#include "media/thumbnails/MediaKey.h"

#include <QFile>

#include <sys/stat.h>

#include <filesystem>

namespace pivra {

std::optional<std::int64_t> allocatedSize(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return std::int64_t(info.st_blocks) * 512;
}

StorageMeasure footprint(const QStringList& keys, const std::function<QString(const QString& key)>& fileOfKey)
{
    StorageMeasure measure;
    for (const QString& key : keys) {
        if (!isValidKey(key)) {
            continue;
        }
        if (const std::optional<std::int64_t> size = allocatedSize(fileOfKey(key))) {
            measure.count += 1;
            measure.bytes += *size;
        }
    }
    return measure;
}

StorageMeasure diskStats(const QString& directory)
{
    namespace fs = std::filesystem;
    StorageMeasure measure;
    std::error_code error;
    fs::recursive_directory_iterator walk(QFile::encodeName(directory).toStdString(),
                                          fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        std::error_code entryError;
        if (!walk->is_symlink(entryError) && walk->is_regular_file(entryError)) {
            const std::uintmax_t size = walk->file_size(entryError);
            measure.count += 1;
            measure.bytes += entryError ? 0 : std::int64_t(size);
        }
    }
    return measure;
}

} // namespace pivra
