#pragma once

#include "catalog/model/MediaItem.h"
#include "media/thumbnails/cache/ThumbnailCache.h"

#include <QString>

namespace pivra {

// The name of a device file's preview at one size: the digest of
// "camera-preview-v1:<id>:<size>:<time>:<pixels>". A file on a device cannot
// be hashed, so what the device reports about it stands for its content: a
// new size or modification date gives a new key, and each pixel size has its
// own. It is a valid key, so a grid-sized preview is kept, listed, measured
// and deleted like any grid thumbnail.
QString cameraPreviewKey(const MediaItem& item, int pixels);

// Where the preview named `key` is stored: grid-sized previews in the grid
// store, where they outlive the device's connection; other sizes in the
// viewer cache, <viewer>/<key>.jpg.
QString cameraPreviewFile(const ThumbnailLocations& locations, const QString& key, int pixels);

} // namespace pivra
