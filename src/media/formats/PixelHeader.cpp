#include "media/formats/PixelHeader.h"

#include "media/MediaFile.h"
#include "media/formats/BmpReader.h"

#include <QSet>
#include <QtEndian>
#include <cmath>
#include <libheif/heif.h>
#include <memory>
#include <vips/vips.h>

namespace pivra {
namespace {

constexpr qint64 heifSniffLength = 32; // enough for the ftyp box's major and first compatible brands
constexpr double millimetresPerInch = 25.4;

template<auto release>
struct Releaser {
    template<typename T>
    void operator()(T* object) const { release(object); }
};

std::optional<int> bitsPerSample(VipsBandFormat format)
{
    switch (format) {
    case VIPS_FORMAT_UCHAR: case VIPS_FORMAT_CHAR: return 8;
    case VIPS_FORMAT_USHORT: case VIPS_FORMAT_SHORT: return 16;
    case VIPS_FORMAT_UINT: case VIPS_FORMAT_INT: case VIPS_FORMAT_FLOAT: return 32;
    case VIPS_FORMAT_DOUBLE: return 64;
    default: return std::nullopt;
    }
}

std::optional<QString> colorModel(VipsInterpretation interpretation)
{
    switch (interpretation) {
    case VIPS_INTERPRETATION_sRGB: case VIPS_INTERPRETATION_RGB: case VIPS_INTERPRETATION_RGB16:
    case VIPS_INTERPRETATION_scRGB:
        return QStringLiteral("RGB");
    case VIPS_INTERPRETATION_B_W: case VIPS_INTERPRETATION_GREY16:
        return QStringLiteral("Gray");
    case VIPS_INTERPRETATION_CMYK:
        return QStringLiteral("CMYK");
    case VIPS_INTERPRETATION_LAB: case VIPS_INTERPRETATION_LABS:
        return QStringLiteral("Lab");
    default:
        return std::nullopt;
    }
}

// The loader's nickname without the "_source" or "_buffer" of its variants.
QByteArray loaderFamily(const char* nickname)
{
    QByteArray family(nickname);
    for (const char* variant : {"_source", "_buffer"}) {
        if (family.endsWith(variant)) {
            family.chop(int(qstrlen(variant)));
        }
    }
    return family;
}

// Whether a PNG holds a pHYs chunk in pixels per metre, the only resolution
// PNG has. The chunk must come before the image data, so the walk stops there.
bool pngHoldsResolution(const QString& path)
{
    constexpr qint64 signatureLength = 8;
    constexpr quint32 physLength = 9; // x and y per unit, then the unit
    constexpr char unitMetre = 1;
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return false;
    }
    for (std::int64_t offset = signatureLength;;) {
        const QByteArray header = file->read(offset, 8); // length, then type
        if (header.size() < 8) {
            return false;
        }
        const quint32 length = qFromBigEndian<quint32>(header.constData());
        const QByteArray type = header.sliced(4);
        if (type == "pHYs") {
            const QByteArray data = file->read(offset + 8, physLength);
            return length == physLength && data.size() == qsizetype(physLength) && data.back() == unitMetre;
        }
        if (type == "IDAT" || type == "IEND") {
            return false;
        }
        offset += 8 + qint64(length) + 4; // header, data and CRC
    }
}

// libvips reports a resolution of its own (1 pixel per millimetre, or 72 dpi
// for PNG and JPEG) when a file holds none. Its JPEG loader (JFIF density,
// Exif) and TIFF loader name the unit only when they found one; PNG's comes
// from pHYs alone. GIF has none, and the WebP and HEIF loaders leave the
// default even when they find the unit in Exif, which is read apart.
bool holdsResolution(VipsImage* image, const QString& path)
{
    const char* loader = nullptr;
    if (vips_image_get_string(image, VIPS_META_LOADER, &loader) != 0) {
        return false;
    }
    const QByteArray family = loaderFamily(loader);
    if (family == "jpegload" || family == "tiffload") {
        return vips_image_get_typeof(image, VIPS_META_RESOLUTION_UNIT) != 0;
    }
    return family == "pngload" && pngHoldsResolution(path);
}

// Qt reads a BMP's size and pixel format from its header alone.
std::optional<PixelHeader> readBmpHeader(const QString& path)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return std::nullopt;
    }
    const std::unique_ptr<QIODevice> device = file->device();
    const std::unique_ptr<QImageReader> reader = bmpReader(device.get());
    const QSize size = reader ? reader->size() : QSize();
    if (!size.isValid()) {
        return std::nullopt;
    }
    const QImage::Format format = reader->imageFormat();
    PixelHeader header;
    header.width = size.width();
    header.height = size.height();
    header.depth = 8;
    const bool grey = format == QImage::Format_Grayscale8 || format == QImage::Format_Mono;
    header.colorModel = grey ? QStringLiteral("Gray") : QStringLiteral("RGB");
    header.hasAlpha = QImage::toPixelFormat(format).alphaUsage() == QPixelFormat::UsesAlpha;
    return header;
}

} // namespace

std::optional<double> dotsPerInch(double pixelsPerMillimetre)
{
    if (!(pixelsPerMillimetre > 0) || !std::isfinite(pixelsPerMillimetre)) {
        return std::nullopt;
    }
    return std::round(pixelsPerMillimetre * millimetresPerInch * 100.0) / 100.0;
}

bool declaresTooManyPixels(std::int64_t width, std::int64_t height, std::int64_t frames)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    // Divisions, not products: a hostile header's numbers overflow any product.
    return width > largestImagePixels / height
        || std::max<std::int64_t>(frames, 1) > largestAnimationPixels / (width * height);
}

void HeifContextRelease::operator()(heif_context* context) const
{
    heif_context_free(context);
}

HeifContext openHeif(const MediaFile& file)
{
    const QByteArray start = file.read(0, heifSniffLength);
    if (heif_check_filetype(reinterpret_cast<const uint8_t*>(start.constData()), int(start.size()))
        == heif_filetype_no) {
        return nullptr;
    }
    // libheif opens the file under its descriptor path, and keeps what it opened.
    HeifContext context(heif_context_alloc());
    if (!context
        || heif_context_read_from_file(context.get(), file.descriptorPath().constData(), nullptr).code
            != heif_error_Ok) {
        return nullptr;
    }
    return context;
}

HeifContext openHeif(const QString& path)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    return file ? openHeif(*file) : nullptr;
}

bool isHeifFile(const QString& path)
{
    return openHeif(path) != nullptr;
}

std::optional<PixelHeader> readHeifHeader(const QString& path)
{
    const HeifContext context = openHeif(path);
    if (!context) {
        return std::nullopt;
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
        return std::nullopt;
    }
    std::unique_ptr<heif_image_handle, Releaser<heif_image_handle_release>> handle(rawHandle);
    PixelHeader header;
    header.width = heif_image_handle_get_width(rawHandle);
    header.height = heif_image_handle_get_height(rawHandle);
    if (header.width <= 0 || header.height <= 0) {
        return std::nullopt;
    }
    const int bits = heif_image_handle_get_luma_bits_per_pixel(rawHandle);
    if (bits > 0) {
        header.depth = bits;
    }
    header.colorModel = QStringLiteral("RGB");
    header.hasAlpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    header.orientationApplied = true;
    return header;
}

bool isIndexedTypeLoader(const char* loader)
{
    static const QSet<QByteArray> families{"jpegload", "pngload", "heifload", "gifload", "tiffload", "webpload"};
    if (!loader) {
        vips_error_clear();
        return false;
    }
    return families.contains(loaderFamily(vips_nickname_find(g_type_from_name(loader))));
}

VipsSourcePointer openImageSource(const QString& path)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return nullptr;
    }
    // The source holds a descriptor of its own, a duplicate of this one.
    VipsSourcePointer source(vips_source_new_from_descriptor(file->descriptor()));
    if (!source) {
        vips_error_clear();
    }
    return source;
}

std::optional<PixelHeader> readImageHeader(const QString& path)
{
    const VipsSourcePointer source = openImageSource(path);
    if (!source || !isIndexedTypeLoader(vips_foreign_find_load_source(source.get()))) {
        return readBmpHeader(path);
    }
    // Opening reads only the header; pixels would be decoded on first use.
    VipsImage* image = vips_image_new_from_source(source.get(), "", nullptr);
    if (!image) {
        vips_error_clear();
        return std::nullopt;
    }
    std::unique_ptr<VipsImage, Releaser<g_object_unref>> owner(image);
    PixelHeader header;
    header.width = vips_image_get_width(image);
    header.height = vips_image_get_height(image);
    header.depth = bitsPerSample(vips_image_get_format(image));
    header.colorModel = colorModel(vips_image_get_interpretation(image));
    header.hasAlpha = vips_image_hasalpha(image) != 0;
    header.frames = std::max(1, vips_image_get_n_pages(image));
    if (holdsResolution(image, path)) {
        header.dpiWidth = dotsPerInch(vips_image_get_xres(image));
        header.dpiHeight = dotsPerInch(vips_image_get_yres(image));
    }
    return header;
}

} // namespace pivra
