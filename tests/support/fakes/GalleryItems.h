#pragma once

#include "catalog/model/MediaItem.h"

#include <QSize>

namespace pivra::test {

// Gallery item number `index` of a folder source: the file
// "/photos/<index>.jpg" of `size` pixels, taken at `captureDate`. No file
// exists for it.
MediaItem galleryPhoto(const QUuid& source, int index, QSize size, Timestamp captureDate);

} // namespace pivra::test
