#pragma once

#include "media/MediaFile.h"

#include <QByteArray>

namespace pivra {

// Whether `file` is a PNG; when it is, `chunks` holds what exiv2 reads of it:
// the signature and the chunks exiv2 parses (header, text, colour profile,
// Exif, end), but for the XMP packets. Nothing else is read: the pixel data
// and an animation's frames (fdAT) exiv2 skips anyway, and exiv2 decodes an
// XMP packet under one lock for the whole process while nothing the catalog
// keeps comes from XMP, so the inspections of a scan would queue on it for
// nothing. The chunks kept stay byte for byte, so exiv2 reads the same Exif,
// IPTC and text from the copy as from the file. `chunks` is the caller's to
// reuse.
bool readPngMetadataChunks(const MediaFile& file, QByteArray& chunks);

} // namespace pivra
