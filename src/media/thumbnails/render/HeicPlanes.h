#pragma once

#include "media/formats/PixelHeader.h"
#include "media/thumbnails/render/DecodeFootprint.h"

#include <QString>

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
// libvips' shrink, cut to 8 bits as they are read. libheif applies the
// container's transforms (irot, imir, clap).
//
// What the decode will hold is told from the file's boxes before anything is
// decoded (DecodeFootprint.h).
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

    // The size shown, transforms applied.
    int width() const;
    int height() const;
    DecodeFootprint footprint() const { return footprint_; }

    // Decodes the picture; false when libheif cannot.
    bool decode();
    // The decoded picture as an 8-bit sRGB image, alpha as a fourth band,
    // with the file's colour profile; it reads the planes in place, so it is
    // used only while this lives.
    vips::VImage image() const;

private:
    struct HandleRelease {
        void operator()(heif_image_handle* handle) const;
    };
    struct ImageRelease {
        void operator()(heif_image* image) const;
    };

    HeicPlanes(HeifContext context, std::unique_ptr<heif_image_handle, HandleRelease> handle,
               DecodeFootprint footprint);

    HeifContext context_;
    std::unique_ptr<heif_image_handle, HandleRelease> handle_;
    std::unique_ptr<heif_image, ImageRelease> decoded_;
    DecodeFootprint footprint_;
};

} // namespace pivra
