#pragma once

#include "media/MediaFile.h"

#include <QList>

#include <cstdint>
#include <optional>
#include <utility>

namespace pivra {

// How the primary image of a HEIF file is coded, as its boxes say, for
// telling what decoding it takes before anything is decoded.
//
// The sizes are those of the pictures the HEVC parameter sets or the AV1
// sequence headers code, never those the size boxes ('ispe') state: libheif
// takes the stated ones for the image's size and decodes whatever the
// coding says, so a file stating 64 × 48 over a picture of 8000 × 6000
// decodes to the latter.
struct HeifCoding {
    // One coded picture, as its configuration ('hvcC', 'av1C') gives it.
    struct Picture {
        std::int64_t codedWidth = 0; // what the decoder holds
        std::int64_t codedHeight = 0;
        int chromaFormat = 1; // 0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4
        int bitDepth = 8;     // of the luma samples
    };
    // An image: one coded picture, or a grid of tiles each coded as a picture
    // of its own (as phones write their large photos); `picture` is then the
    // largest tile. No picture when its coding is not told.
    struct Layer {
        bool hevc = false; // coded in HEVC, as the item or its tiles say
        bool grid = false;
        std::optional<Picture> picture;
        // The image the layer decodes to: its picture within the conformance
        // window, or the canvas the grid states; 0 × 0 when not told.
        std::int64_t width = 0;
        std::int64_t height = 0;
        bool av1 = false; // coded in AV1 (an AVIF), as the item or its tiles say
    };
    Layer image;
    std::optional<Layer> alpha; // the alpha plane, an image of its own
    // The container's transforms, which libheif applies on decoding in the
    // order the item lists them: the primary item's, or an identity item's
    // (a turned or mirrored view of another image) after those of the image
    // it shows.
    int orientation = 1;  // all of them as one Exif orientation (1..8)
    bool turned = false;  // a quarter turn among them ('irot'), which libheif makes into a copy
    bool cropped = false; // 'clap'
    bool derived = false; // the primary item is an identity item
    // Where the type of each turn and mirror property lies in the file, so
    // that they can be hidden from libheif (HeifHiddenTransforms.h).
    QList<std::int64_t> transformTypeOffsets;

    // Whether the transforms may be left to whoever shows the decoded
    // picture, as `orientation` says: turns and mirrors named by the primary
    // item itself. libheif turns a picture into a copy of it and crops into another.
    bool transformsAsOrientation() const;
    // The size of the image shown, transforms applied; none when the image's
    // size is not told or it is cropped.
    std::optional<std::pair<std::int64_t, std::int64_t>> shownSize() const;
};

// None for other files and when the boxes do not name their primary item.
// With `item`, the coding of that image of the file (a thumbnail) instead.
std::optional<HeifCoding> readHeifCoding(const MediaFile& file, std::optional<std::uint32_t> item = std::nullopt);

} // namespace pivra
