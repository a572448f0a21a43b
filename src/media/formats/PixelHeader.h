#pragma once

#include "media/MediaFile.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

#include <glib-object.h>

typedef struct _VipsSource VipsSource;
struct heif_context;

namespace pivra {

// What a file's header says about its pixels, read without decoding any.
struct PixelHeader {
    int width = 0;
    int height = 0;
    std::optional<int> depth;        // bits per sample
    std::optional<QString> colorModel; // "RGB", "Gray", "CMYK", "Lab"
    bool hasAlpha = false;
    std::optional<double> dpiWidth;  // only when the file holds a resolution the reader found
    std::optional<double> dpiHeight;
    // HEIF keeps its rotation in the container (irot/imir) and libheif and
    // libvips apply it on decoding: for such a file width and height are
    // already the displayed size and no orientation may be applied again.
    bool orientationApplied = false;
    // Pages or frames of an animation, as far as the reader counts them.
    int frames = 1;
};

// Dots per inch from the pixels per millimetre header readers give, rounded
// to hundredths so that a JPEG's 72 dpi (2.834645… per millimetre) comes back
// as the number the file holds. Nothing for a resolution that is no number
// above 0.
std::optional<double> dotsPerInch(double pixelsPerMillimetre);

// The most pixels an image may declare and still be decoded: beyond what any
// camera makes (stitched panoramas included), and far below what a small
// file that declares a huge canvas would cost (a GIF of a few bytes saying
// 60,000 × 60,000 asks for 14 GB). An animation's frames together get a
// larger budget, since some decoders build every frame before the one asked
// for.
inline constexpr std::int64_t largestImagePixels = 250'000'000;
inline constexpr std::int64_t largestAnimationPixels = 1'000'000'000;

// Whether an image of this size and frame count is beyond those budgets.
// Nothing decodes such a file: its thumbnail fails at once.
bool declaresTooManyPixels(std::int64_t width, std::int64_t height, std::int64_t frames = 1);

struct HeifContextRelease {
    void operator()(heif_context* context) const;
};
using HeifContext = std::unique_ptr<heif_context, HeifContextRelease>;

// The file read by libheif, when its first bytes may be an ISO-BMFF image.
// libheif answers "maybe" for the generic "mif1" brand, which converters and
// some cameras write as the major brand; for those, as for every brand it
// names, whether libheif can read the file decides. Null when it cannot.
HeifContext openHeif(const MediaFile& file);
HeifContext openHeif(const QString& path);

// True when libheif reads the file as an ISO-BMFF image (HEIC, HEIF, AVIF),
// whatever brand it carries. This is the one test of "HEIF" for every reader
// of a file's pixels, since such files carry their rotation in the container.
bool isHeifFile(const QString& path);

// The header of a HEIF file through libheif, with the container's transform
// applied to the size.
std::optional<PixelHeader> readHeifHeader(const QString& path);

// Whether `loader`, as vips_foreign_find_load() and its buffer twin name it
// (null for none), reads one of the image types the catalog indexes. libvips
// picks a loader by content, so without this a PDF named .jpg went to the PDF
// loader and an SVG named .png was drawn. BMP is not among them: only the
// ImageMagick loader reads it, which libvips counts as unsafe for untrusted
// files and which is blocked at start-up with the others of its kind.
bool isIndexedTypeLoader(const char* loader);

struct VipsSourceRelease {
    void operator()(VipsSource* source) const { g_object_unref(source); }
};
using VipsSourcePointer = std::unique_ptr<VipsSource, VipsSourceRelease>;

// The file at `path` as a libvips source that names no file, so that the
// loaders choosing among themselves look only at its first bytes, read once:
// given a file name, libvips lets every loader it has open the file on its
// own (OpenSlide's opened each photo as an SQLite database). Null when the
// file cannot be opened.
VipsSourcePointer openImageSource(const QString& path);

// The header of any other image of an indexed type: JPEG, PNG, TIFF, WebP and
// GIF through libvips, BMP through Qt's reader. None for other content.
std::optional<PixelHeader> readImageHeader(const QString& path);

} // namespace pivra
