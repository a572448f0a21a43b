#include "media/metadata/MetadataInspector.h"

#include "media/MediaFile.h"
#include "media/metadata/MediaMetadata.h"
#include "media/formats/PixelHeader.h"

namespace pivra {

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
    // only the first must be read again by the next scan. It is one that
    // does not open as a regular file or give its first byte (or is empty).
    const std::optional<MediaFile> file = MediaFile::open(path);
    char first = 0;
    if (!file || file->read(0, &first, 1) < 0) {
        return {MediaMetadata::inspect(path, sourceID, values, kind), false};
    }
    MediaItem item = MediaMetadata::inspectOpened(path, sourceID, values, kind, *file);
    const bool decodable = kind != MediaKind::image || !declaresTooManyPixels(item.width(), item.height());
    return {std::move(item), true, decodable};
}

std::optional<QString> MetadataInspector::livePhotoIdentifier(const QString& path, MediaKind kind) const
{
    return MediaMetadata::livePhotoIdentifier(path, kind);
}

} // namespace pivra
