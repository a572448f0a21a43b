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
    // Turned by a quarter or half turn ('irot') or cropped ('clap'), which
    // libheif does into a copy of the decoded image. An identity item (a
    // turned or mirrored view of another) is followed to the image it shows.
    bool transformedIntoCopy = false;
};

// None for other files and when the boxes do not name their primary item.
std::optional<HeifCoding> readHeifCoding(const MediaFile& file);

} // namespace pivra
