#pragma once

#include "media/MediaFile.h"

#include <QByteArray>

namespace pivra {

// Whether `file` is a PNG; when it is, `chunks` holds what exiv2 reads of it:
// the signature and every chunk up to the end marker, but for the pixel data
// and the XMP packets. exiv2 decodes an XMP packet under one lock for the
// whole process, and nothing the catalog keeps comes from XMP, so the
// inspections of a scan would queue on it for nothing; the pixel data it
// skips anyway. Every other chunk stays byte for byte, so exiv2 reads the
// same Exif, IPTC and text from the copy as from the file. `chunks` is the
// caller's to reuse.
bool readPngMetadataChunks(const MediaFile& file, QByteArray& chunks);

} // namespace pivra
