#pragma once

#include "media/formats/HeifPrimaryItem.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace pivra {

// What decoding an image for a thumbnail will hold in memory, told from its
// header before anything is decoded, and what the renderer allows.
//
// Decoders differ in how much of an image they hold at once. A JPEG of one
// scan and a still WebP decode at a reduced size and PNG line by line, so
// they hold little whatever the canvas; a JPEG of several scans (progressive,
// or its components in scans of their own) keeps every coefficient of the
// whole image however much it is shrunk on load; GIF (from a whole frame of
// colour indices) and animated WebP draw on a whole RGBA canvas; interlaced
// PNG, HEIF and BMP build the whole image first, and HEIF the decoder's
// picture besides; TIFF holds one strip or one row of tiles, which may be the
// whole image when it was written as a single strip. A small file declaring a
// canvas just under the pixel limit (a 34-byte GIF or a 744-byte progressive
// JPEG of 15,800 × 15,800) would otherwise take a gigabyte or more per render.
struct DecodeFootprint {
    std::int64_t bytes = 0; // the most the decoder holds at once

    // Beyond what one decode may take: the file is refused, for good.
    bool tooLarge() const;
    // Large enough to wait for its share of the memory large decodes share.
    bool large() const;
};

// The most one decode may hold, and the size from which decodes share a budget.
inline constexpr std::int64_t largestDecodeBytes = std::int64_t(512) << 20;
inline constexpr std::int64_t largeDecodeBytes = std::int64_t(64) << 20;

// What the header of an image says the decoder will be handed.
struct DecodeShape {
    QByteArray loader; // libvips loader family ("gifload", "pngload", …), "bmp" for Qt's reader
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bands = 3;
    int bytesPerSample = 1;
    // PNG: Adam7 needs every pass before the first row is whole. JPEG: the
    // file holds several scans, as libjpeg tells from the first.
    bool interlaced = false;
    // TIFF: rows decoded at once (a strip, or a row of tiles); none when the
    // file does not say, which TIFF reads as one strip of the whole image.
    std::optional<std::int64_t> rowsAtOnce;
    // HEIC: how the image is coded (HeifPrimaryItem.h), which libheif then
    // decodes to planes of RGB (HeicPlanes.h); its sizes, not width and
    // height, which libheif takes from what the file states. Without it a
    // HEIF (AVIF) is budgeted as libvips decodes one coded picture.
    std::optional<HeifCoding> heic;
    // JPEG: the chroma subsampling ("4:2:0", …) as libvips names it; empty
    // or unknown counts every component at full size.
    QByteArray chromaSubsampling;
    int pages = 1; // frames of an animation
};

DecodeFootprint decodeFootprint(const DecodeShape& shape);

// How many rows a TIFF decoder reads at once: the tile length of a tiled
// file, one for an uncompressed one (libtiff cuts its strips small), else its
// rows per strip; none when that is not given (one strip) or the file is no
// TIFF the reader understands (TiffDirectory.h).
std::optional<std::int64_t> tiffRowsAtOnce(const QString& path);

} // namespace pivra
