#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

namespace pivra {

// What decoding an image for a thumbnail will hold in memory, told from its
// header before anything is decoded, and what the renderer allows.
//
// Decoders differ in how much of an image they hold at once. JPEG and WebP
// decode at a reduced size and PNG line by line, so they hold little whatever
// the canvas; GIF (the whole RGBA canvas of a frame), interlaced PNG, HEIF and
// BMP build the whole image first; TIFF holds one strip or one row of tiles,
// which may be the whole image when it was written as a single strip. A small
// file declaring a canvas just under the pixel limit (a 34-byte GIF of
// 15,800 × 15,800) would otherwise take a gigabyte per render.
struct DecodeFootprint {
    std::int64_t bytes = 0; // the most the decoder holds at once

    // Beyond what one decode may take: the file is refused, for good.
    bool tooLarge() const;
    // Large enough that no two such decodes may run at once.
    bool large() const;
};

// The most one decode may hold, and the size from which decodes take turns.
inline constexpr std::int64_t largestDecodeBytes = std::int64_t(256) << 20;
inline constexpr std::int64_t largeDecodeBytes = std::int64_t(64) << 20;

// What the header of an image says the decoder will be handed.
struct DecodeShape {
    QByteArray loader; // libvips loader family ("gifload", "pngload", …), "bmp" for Qt's reader
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bands = 3;
    int bytesPerSample = 1;
    bool interlaced = false; // PNG: Adam7 needs every pass before the first row is whole
    // TIFF: rows decoded at once (a strip, or a row of tiles); none when the
    // file does not say, which TIFF reads as one strip of the whole image.
    std::optional<std::int64_t> rowsAtOnce;
};

DecodeFootprint decodeFootprint(const DecodeShape& shape);

// How many rows a TIFF decoder reads at once: the tile length of a tiled
// file, one for an uncompressed one (libtiff cuts its strips small), else its
// rows per strip; none when that is not given (one strip) or the file is no
// TIFF the reader understands. Reads the first directory's
// entries only (classic and BigTIFF, either byte order).
std::optional<std::int64_t> tiffRowsAtOnce(const QString& path);

// Held by a large decode while it runs, so that at most one runs at a time;
// a decode that is not large holds nothing.
std::unique_lock<std::mutex> largeDecodeTurn(const DecodeFootprint& footprint);

} // namespace pivra
