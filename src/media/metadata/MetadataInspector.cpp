#include "media/metadata/MetadataInspector.h"

#include "media/MediaFile.h"
#include "media/metadata/MediaMetadata.h"
#include "media/metadata/PixelHeader.h"

namespace pivra {

namespace {

// Whether the file opens as a regular file and gives its first byte (or is
// empty), as every reader must before it can tell anything about it.
bool canReadFile(const QString& path)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    char first = 0;
    return file && file->read(0, &first, 1) >= 0;
}

} // namespace

std::optional<MediaKind> MetadataInspector::kind(const QString& path) const
{
    return MediaMetadata::kind(path);
}

std::optional<MediaKind> MetadataInspector::kindOfExtension(std::string_view extension) const
{
    return MediaMetadata::kindOfExtension(extension);
}

Inspection MetadataInspector::inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                                      MediaKind kind) const
{
    // The readers answer an unreadable file and one without metadata alike;
    // only the first must be read again by the next scan.
    if (!canReadFile(path)) {
        return {MediaMetadata::inspect(path, sourceID, values, kind), false};
    }
    MediaItem item = MediaMetadata::inspect(path, sourceID, values, kind);
    const bool decodable = kind != MediaKind::image || !declaresTooManyPixels(item.width(), item.height());
    return {std::move(item), true, decodable};
}

std::optional<QString> MetadataInspector::livePhotoIdentifier(const QString& path, MediaKind kind) const
{
    return MediaMetadata::livePhotoIdentifier(path, kind);
}

} // namespace pivra
