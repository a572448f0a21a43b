#include "media/MetadataInspector.h"

#include "media/MediaMetadata.h"

namespace pivra {

std::optional<MediaKind> MetadataInspector::kind(const QString& path) const
{
    return MediaMetadata::kind(path);
}

MediaItem MetadataInspector::inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                                     MediaKind kind) const
{
    return MediaMetadata::inspect(path, sourceID, values, kind);
}

std::optional<QString> MetadataInspector::livePhotoIdentifier(const QString& path, MediaKind kind) const
{
    return MediaMetadata::livePhotoIdentifier(path, kind);
}

} // namespace pivra
