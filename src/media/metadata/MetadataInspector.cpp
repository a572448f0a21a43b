#include "media/metadata/MetadataInspector.h"

#include "media/metadata/MediaMetadata.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace pivra {

namespace {

// Whether the file opens and gives its first byte (or is empty), as every
// reader must before it can tell anything about it.
bool canReadFile(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char first = 0;
    const bool read = pread(fd, &first, 1, 0) >= 0;
    close(fd);
    return read;
}

} // namespace

std::optional<MediaKind> MetadataInspector::kind(const QString& path) const
{
    return MediaMetadata::kind(path);
}

Inspection MetadataInspector::inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                                      MediaKind kind) const
{
    // The readers answer an unreadable file and one without metadata alike;
    // only the first must be read again by the next scan.
    const bool fileRead = canReadFile(path);
    return {MediaMetadata::inspect(path, sourceID, values, kind), fileRead};
}

std::optional<QString> MetadataInspector::livePhotoIdentifier(const QString& path, MediaKind kind) const
{
    return MediaMetadata::livePhotoIdentifier(path, kind);
}

} // namespace pivra
