#pragma once

#include "media/metadata/MediaMetadata.h"
#include "platform/runtime/Task.h"

// The file readers of MediaMetadata as awaitable steps: the read runs on the
// user-initiated worker pool and the awaiting coroutine continues on the GUI
// thread with the result, so neither the GUI thread nor the catalog thread
// ever waits on a disk or a slow container.
namespace pivra::MediaMetadata {

Task<MediaItem> inspectAsync(QString path, QUuid sourceID, FileValues values, MediaKind kind);

Task<std::optional<QString>> livePhotoIdentifierAsync(QString path, MediaKind kind);

} // namespace pivra::MediaMetadata
