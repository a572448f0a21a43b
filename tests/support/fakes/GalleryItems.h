#pragma once

#include "catalog/model/MediaItem.h"

#include <QSize>

namespace pivra::test {

// Gallery item number `index` of a folder source: the file
// "/photos/<index>.jpg" of `size` pixels, taken at `captureDate`. No file
// exists for it.
MediaItem galleryPhoto(const QUuid& source, int index, QSize size, Timestamp captureDate);

// The video file at `path` as indexing lists it: `size` pixels stored,
// `seconds` long, and the file's size on disk.
MediaItem fileVideo(const QString& path, QSize size, double seconds);

} // namespace pivra::test
