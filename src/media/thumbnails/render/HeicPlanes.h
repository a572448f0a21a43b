#pragma once

#include "media/formats/PixelHeader.h"
#include "media/thumbnails/render/DecodeFootprint.h"
#include "media/thumbnails/render/HeifTransformsHidden.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

#include <vips/vips8>

struct heif_image;
struct heif_image_handle;

namespace pivra {

// A HEIC drawn by libheif alone. libvips' loader asks libheif for
// interleaved RGB at the file's depth, which libheif makes of the planes of
// RGB it decodes into in a further whole copy: a 48-MP photo of 10-bit
// samples took 565 MiB, one with an alpha plane 442 MiB. Taken as those
// planes, they take 419 and 289 MiB, and the planes are read in place by
// libvips' shrink, cut to 8 bits as they are read. The container's turns
// and mirrors are left to the caller where that is allowed
// (HeifCoding::transformsAsOrientation) and hidden from libheif
// (HeifTransformsHidden.h), as libheif turns a picture into a whole copy of
// it (a turned 48-MP photo of 10-bit samples would take 558 MiB) and cannot
// mirror an alpha plane of deep samples; other transforms (crops) libheif
// applies.
//
// What the decode will hold is told from the file's boxes before anything is
// decoded (DecodeFootprint.h), from the pictures its parameter sets code,
// whatever sizes the file states.
class HeicPlanes {
public:
    // The picture of the HEIC at `path` to draw with its longer side at most
    // `pixels`: a thumbnail the file carries at least that large, else its
    // primary image. None for other files, and for HEIFs not coded in HEVC
    // (AVIF), which libvips draws.
    static std::optional<HeicPlanes> open(const QString& path, int pixels);

    HeicPlanes(HeicPlanes&&) noexcept;
    HeicPlanes& operator=(HeicPlanes&&) noexcept;
    ~HeicPlanes();

    // The size of the image decoded, as coded; 0 when not told.
    int width() const;
    int height() const;
    // What image() still needs to be shown upright (Exif numbering); 1 when
    // libheif applied the transforms.
    int orientation() const { return orientation_; }
    DecodeFootprint footprint() const { return footprint_; }

    // Decodes the picture; false when libheif cannot.
    bool decode();
    // The decoded picture as an 8-bit sRGB image with the file's colour
    // profile, alpha flattened on white, for libvips' thumbnail to finish at
    // `pixels`. Each plane is first shrunk on its own by the whole factor
    // that leaves at least twice that, averaging as libvips' shrink does:
    // joined first, a 48-MP photo took libvips' thumbnail 3.3 s against 0.2.
    // The planes are read in place, so the image is used only while this lives.
    vips::VImage image(int pixels) const;

private:
    struct HandleRelease {
        void operator()(heif_image_handle* handle) const;
    };
    struct ImageRelease {
        void operator()(heif_image* image) const;
    };

    HeicPlanes(HeifContext context, std::unique_ptr<HeifTransformsHidden> hidden,
               std::unique_ptr<heif_image_handle, HandleRelease> handle, const HeifCoding& coding);

    // One of the two reads the file: libheif alone, or through the reader
    // that hides the transforms.
    std::unique_ptr<HeifTransformsHidden> hidden_;
    HeifContext context_;
    std::unique_ptr<heif_image_handle, HandleRelease> handle_;
    std::unique_ptr<heif_image, ImageRelease> decoded_;
    DecodeFootprint footprint_;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    int orientation_ = 1;
};

} // namespace pivra
