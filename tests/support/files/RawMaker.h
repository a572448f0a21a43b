#pragma once

#include <QByteArrayList>
#include <QString>

namespace pivra::test {

// Writes a camera file laid out as most RAW formats are (NEF, DNG, ARW…): a
// little-endian TIFF whose first directory holds a tiny grey main image and
// the Exif `orientation`, and points through its SubIFDs tag to one
// sub-image per entry of `previews`, each an encoded JPEG stored as that
// sub-image's JPEG interchange data. Answers false when it cannot be written.
bool makeTiffRaw(const QString& path, const QByteArrayList& previews, int orientation = 1);

} // namespace pivra::test
