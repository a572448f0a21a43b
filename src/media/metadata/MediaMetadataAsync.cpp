#include "media/metadata/MediaMetadataAsync.h"

#include "platform/runtime/threads/Pool.h"

namespace pivra::MediaMetadata {

Task<MediaItem> inspectAsync(QString path, QUuid sourceID, FileValues values, MediaKind kind)
{
    co_return co_await runOnPool(PoolPriority::userInitiated, &inspect, std::move(path), sourceID, values, kind);
}

Task<std::optional<QString>> livePhotoIdentifierAsync(QString path, MediaKind kind)
{
    co_return co_await runOnPool(PoolPriority::userInitiated, &livePhotoIdentifier, std::move(path), kind);
}

} // namespace pivra::MediaMetadata
