#include "media/thumbnails/render/DecodeFootprint.h"

#include "media/MediaFile.h"
#include "media/formats/TiffDirectory.h"

#include <algorithm>
#include <limits>

namespace pivra {
namespace {

constexpr std::int64_t unbounded = std::numeric_limits<std::int64_t>::max();

// a × b without overflow: a hostile header's numbers overflow any product.
std::int64_t product(std::int64_t a, std::int64_t b)
{
    if (a <= 0 || b <= 0) {
        return 0;
    }
    return a > unbounded / b ? unbounded : a * b;
}

std::int64_t bytesOf(std::int64_t width, std::int64_t rows, std::int64_t bytesPerPixel)
{
    return product(product(width, rows), bytesPerPixel);
}

// Samples a pixel holds at full size, in quarters, from a subsampling named
// J:a:b: the chroma components keep a / J of the columns and, when b is 0,
// half the rows. Unknown names count every component whole.
std::int64_t quarterSamplesPerPixel(const DecodeShape& shape)
{
    const QList<QByteArray> parts = shape.chromaSubsampling.split(':');
    const auto part = [&parts](int at) { return parts.size() == 3 ? parts.at(at).toInt() : -1; };
    const int j = part(0);
    const int a = part(1);
    const int b = part(2);
    constexpr int quarters = 4;
    if (shape.bands != 3 || j <= 0 || a <= 0 || a > j || (b != 0 && b != a)) {
        return product(shape.bands, quarters);
    }
    const std::int64_t chromaQuarters = quarters * a / j / (b == 0 ? 2 : 1);
    return quarters + 2 * chromaQuarters;
}

// What libde265 and libheif hold to decode one coded picture of `pixels`:
// the decoder's own picture, what it keeps on every block of 4 × 4 pixels
// (a byte and a half a pixel, measured) and libheif's copy of the picture;
// then that copy and, but for an alpha plane, the planes of RGB libheif makes
// of it at the picture's depth.
std::int64_t heicPictureBytes(const HeifCoding::Picture& picture, std::int64_t pixels, bool toRgb)
{
    constexpr std::int64_t halfSamplesPerPixel[] = {2, 3, 4, 6}; // monochrome, 4:2:0, 4:2:2, 4:4:4
    const std::int64_t sampleBytes = picture.bitDepth > 8 ? 2 : 1;
    const std::int64_t coded = product(product(pixels, halfSamplesPerPixel[picture.chromaFormat & 3]), sampleBytes) / 2;
    const std::int64_t decoding = product(coded, 2) + product(pixels, 3) / 2;
    return toRgb ? std::max(decoding, coded + product(pixels, 3 * sampleBytes)) : decoding;
}

// The pixels of the image a layer decodes to: its coded picture, which the
// decoder holds whole whatever part of it is shown, or the grid's canvas.
std::int64_t layerPixels(const HeifCoding::Layer& layer)
{
    return layer.grid ? product(layer.width, layer.height)
                      : product(layer.picture->codedWidth, layer.picture->codedHeight);
}

// One picture decodes whole; a grid's tiles are decoded up to four at once
// (libheif's threads), each into RGB, and copied into planes of RGB of the
// whole canvas. A layer whose coding the boxes do not tell is not decoded.
std::int64_t heicLayerBytes(const HeifCoding::Layer& layer, bool toRgb)
{
    if (!layer.picture || layer.width <= 0 || layer.height <= 0) {
        return unbounded;
    }
    const HeifCoding::Picture& picture = *layer.picture;
    const std::int64_t tilePixels = product(picture.codedWidth, picture.codedHeight);
    if (!layer.grid) {
        return heicPictureBytes(picture, tilePixels, toRgb);
    }
    constexpr std::int64_t tilesAtOnce = 4;
    const std::int64_t pixels = layerPixels(layer);
    const std::int64_t tiles = std::clamp<std::int64_t>((pixels + tilePixels - 1) / tilePixels, 1, tilesAtOnce);
    const std::int64_t canvas = product(pixels, picture.bitDepth > 8 ? 6 : 3);
    const std::int64_t decoding = product(heicPictureBytes(picture, tilePixels, true), tiles);
    return decoding > unbounded - canvas ? unbounded : canvas + decoding;
}

// The peak of libheif's decode of a HEIC into planes of RGB: decoding the
// image; cropping it, or turning it when that is not left to the caller, into
// a copy; decoding its alpha plane beside the finished image.
std::int64_t heicBytes(const HeifCoding& coding)
{
    std::int64_t bytes = heicLayerBytes(coding.image, true);
    if (bytes == unbounded) {
        return bytes;
    }
    const std::int64_t rgb = product(layerPixels(coding.image), coding.image.picture->bitDepth > 8 ? 6 : 3);
    const bool turned = coding.turned || coding.derived; // an identity item's turn may undo its image's
    if (coding.cropped || (turned && !coding.transformsAsOrientation())) {
        bytes = std::max(bytes, product(rgb, 2));
    }
    if (coding.alpha) {
        const std::int64_t alpha = heicLayerBytes(*coding.alpha, false);
        bytes = std::max(bytes, alpha > unbounded - rgb ? unbounded : rgb + alpha);
    }
    return bytes;
}

} // namespace

bool DecodeFootprint::tooLarge() const
{
    return bytes > largestDecodeBytes;
}

bool DecodeFootprint::large() const
{
    return bytes > largeDecodeBytes;
}

DecodeFootprint decodeFootprint(const DecodeShape& shape)
{
    const std::int64_t pixelBytes = product(shape.bands, shape.bytesPerSample);
    // The canvas the decoder draws a frame on; of an animated WebP, libvips
    // draws the first, the one a thumbnail shows. GIF's decoder first
    // unpacks the frame into a byte of colour index a pixel.
    constexpr std::int64_t rgba = 4;
    if (shape.loader == "gifload") {
        constexpr std::int64_t colourIndex = 1;
        return {bytesOf(shape.width, shape.height, rgba + colourIndex)};
    }
    if (shape.loader == "bmp" || (shape.loader == "webpload" && shape.pages > 1)) {
        return {bytesOf(shape.width, shape.height, rgba)};
    }
    if (shape.loader == "jpegload" && shape.interlaced) {
        // Every block's 64 coefficients of two bytes: two bytes a sample.
        constexpr std::int64_t coefficientBytes = 2;
        const std::int64_t samples = product(product(shape.width, shape.height), quarterSamplesPerPixel(shape)) / 4;
        return {product(samples, coefficientBytes)};
    }
    if (shape.loader == "heifload" && shape.heic) {
        return {heicBytes(*shape.heic)};
    }
    if (shape.loader == "heifload") {
        // libvips' decode of one coded picture: the RGB image libheif hands
        // over, the YCbCr 4:2:0 image (half as large) it converts it from, and
        // the decoder's own picture and block data, as much again.
        return {bytesOf(shape.width, shape.height, product(pixelBytes, 3))};
    }
    if (shape.loader == "pngload" && shape.interlaced) {
        return {bytesOf(shape.width, shape.height, pixelBytes)};
    }
    if (shape.loader == "tiffload") {
        const std::int64_t rows = std::clamp<std::int64_t>(shape.rowsAtOnce.value_or(shape.height), 1,
                                                           std::max<std::int64_t>(shape.height, 1));
        return {bytesOf(shape.width, rows, pixelBytes)};
    }
    // Decoded a few lines at a time, or at the reduced size.
    return {bytesOf(shape.width, 16, pixelBytes)};
}

std::optional<std::int64_t> tiffRowsAtOnce(const QString& path)
{
    constexpr std::uint16_t rowsPerStripTag = 278;
    constexpr std::uint16_t tileLengthTag = 323;
    constexpr std::uint16_t compressionTag = 259;
    constexpr std::int64_t uncompressed = 1;
    const std::optional<MediaFile> file = MediaFile::open(path);
    const std::optional<TiffDirectory> directory = file ? readTiffFirstDirectory(*file) : std::nullopt;
    if (!directory) {
        return std::nullopt;
    }
    const auto value = [&directory](std::uint16_t tag) {
        const TiffEntry* const entry = directory->find(tag);
        return entry ? entry->value : std::nullopt;
    };
    if (const std::optional<std::int64_t> tileLength = value(tileLengthTag)) {
        return tileLength;
    }
    // libtiff reads an uncompressed strip in small pieces, however long.
    return value(compressionTag).value_or(uncompressed) == uncompressed ? std::optional<std::int64_t>(1)
                                                                        : value(rowsPerStripTag);
}

} // namespace pivra
