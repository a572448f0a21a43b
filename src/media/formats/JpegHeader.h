#pragma once

#include "media/MediaFile.h"
#include "media/formats/PixelHeader.h"

#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <optional>

namespace pivra {

// Where a JPEG's parts lie, from a walk of its markers up to its first scan.
struct JpegLayout {
    // The first scan's marker. Everything a reader of metadata wants lies
    // before it, so the bytes up to it can be read at once and parsed from
    // memory.
    std::int64_t scanOffset = 0;
    // The frame, when it is an 8-bit grey or colour one (baseline, extended
    // or progressive) and the only one.
    struct Frame {
        int width = 0;
        int height = 0;
        int components = 0;
    };
    std::optional<Frame> frame;
    // The JFIF density, when the file holds one; unit 0 none, 1 per inch, 2
    // per centimetre.
    struct Density {
        int unit = 0;
        int x = 0;
        int y = 0;
    };
    std::optional<Density> density;
};

// The layout of the JPEG `file`, with its head (its bytes up to its first
// scan's length) in `head`, without the XMP packet; nothing for other content,
// a broken marker chain or more segments than a camera writes.
//
// exiv2 decodes an XMP packet under one lock for the whole process, so the
// inspections of a scan would queue on it, and nothing the catalog keeps
// comes from XMP: every other segment stays, byte for byte. `head` is the
// caller's to reuse from one photo to the next.
std::optional<JpegLayout> readJpegHead(const MediaFile& file, QByteArray& head);

// The header of a JPEG from its layout, with the resolution of its JFIF
// density or of its Exif (`exif`, which wins), read the way the general header
// reader reads it, so that the properties do not depend on which of the two
// gave them. This spares a photo a second parse of its Exif.
//
// Nothing for any JPEG this does not answer with certainty (CMYK, 12-bit,
// lossless or arithmetic frames, resolution tags of an unusual shape): the
// general reader reads those.
std::optional<PixelHeader> jpegHeader(const JpegLayout& layout, const Exiv2::ExifData& exif);

} // namespace pivra
