#pragma once

#include "platform/cameras/MovieIndex.h"

#include <functional>

namespace pivra {

// Where the bytes read are kept: `offset` in the file, the bytes.
using RangeKeeper = std::function<bool(std::int64_t offset, const QByteArray& bytes)>;

// Reads what libheif needs of a HEIF file of `fileSize` bytes to know its
// primary image and that image's metadata items (Exif, XMP): the top-level
// box headers, the "meta" box and the items' extents, in blocks, each handed
// to `keep`. The media data is never read. False when a read failed or
// libheif found no primary image.
bool readHeifMetadata(std::int64_t fileSize, const IsoByteReader& read, const RangeKeeper& keep);

} // namespace pivra
