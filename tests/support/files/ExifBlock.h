#pragma once

#include "support/files/JpegMaker.h"

#include <QByteArray>
#include <optional>

namespace pivra::test {

// The Exif fields as a TIFF-structured block (byte order mark, IFD0, Exif and
// GPS directories), the form both a JPEG's APP1 segment and a HEIF Exif item
// carry; empty when no field is set, nothing when exiv2 refuses a value.
std::optional<QByteArray> exifBlock(const ExifFields& fields);

} // namespace pivra::test
