#pragma once

#include "media/MediaFile.h"

#include <cstdint>
#include <optional>

namespace pivra {

// How the primary image of a HEIF file is coded, as its boxes say, for
// telling what decoding it takes before anything is decoded.
struct HeifCoding {
    // One coded HEVC picture, as its configuration ('hvcC') and size ('ispe') give it.
    struct Picture {
        std::int64_t width = 0;
        std::int64_t height = 0;
        int chromaFormat = 1; // 0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4
        int bitDepth = 8;     // of the luma samples
    };
    // An image: one coded picture, or a grid of tiles each coded as a picture
    // of its own (as phones write their large photos); `picture` is then the
    // first tile. No picture when the image is not coded in HEVC (AVIF) or
    // its boxes do not say how.
    struct Layer {
        bool grid = false;
        std::optional<Picture> picture;
    };
    Layer image;
    std::optional<Layer> alpha; // the alpha plane, an image of its own
    // The container's transforms, which libheif applies on decoding: the
    // primary item's, or an identity item's (a turned or mirrored view of
    // another image) after those of the image it shows.
    int quarterTurns = 0;          // anticlockwise ('irot')
    std::optional<int> mirrorAxis; // 'imir', as its axis is stored
    bool cropped = false;          // 'clap'
    bool derived = false;          // the primary item is an identity item

    // Whether the transforms may be left to whoever shows the decoded
    // picture, as orientation() says: turns and mirrors of an image with no
    // alpha plane, named by the primary item itself. libheif turns a picture
    // into a copy of it and crops into another; an alpha plane it turns by
    // its own item's transforms whatever it is asked.
    bool transformsAsOrientation() const;
    // The transforms as an Exif orientation (1..8).
    int orientation() const;
};

// None for other files and when the boxes do not name their primary item.
std::optional<HeifCoding> readHeifCoding(const MediaFile& file);

} // namespace pivra
