#include "media/metadata/properties/ImageProperties.h"

#include "media/metadata/properties/ExivImage.h"
#include "media/formats/HeifPrimaryItem.h"
#include "media/formats/JpegHeader.h"
#include "media/MediaLibraries.h"
#include "media/formats/PixelHeader.h"
#include "media/formats/PngChunks.h"
#include "media/metadata/properties/PropertyGroups.h"

#include <QFileInfo>
#include <QSet>
#include <cmath>
#include <limits>

namespace pivra {
namespace {

bool isCameraRaw(const QString& path)
{
    static const QSet<QString> extensions{"dng", "cr2", "cr3", "nef", "arw", "raf", "orf", "rw2", "pef", "srw"};
    return extensions.contains(QFileInfo(path).suffix().toLower());
}

struct ExivReading {
    QVariantMap groups;
    int width = 0; // exiv2's idea of the main image's size; used for RAW only
    int height = 0;
    // A JPEG's header, from the walk that found its metadata and the Exif
    // exiv2 parsed, so that the common photo is neither opened nor parsed again.
    std::optional<PixelHeader> jpegHeader;
};

ExivReading readFrom(Exiv2::Image& image)
{
    image.readMetadata();
    ExivReading reading;
    addExifGroups(image.exifData(), reading.groups);
    addIptcGroup(image.iptcData(), reading.groups);
    reading.width = image.pixelWidth();
    reading.height = image.pixelHeight();
    return reading;
}

// Gives back a reused buffer that grew past what a camera's head needs (a
// PNG's long text chunks), once the reading it served is over, rather than
// keeping it for the life of the thread.
struct BufferTrim {
    QByteArray& buffer;

    ~BufferTrim()
    {
        constexpr qsizetype keptBytes = 1 << 20;
        if (buffer.capacity() > keptBytes) {
            buffer = QByteArray();
        }
    }
};

Exiv2::Image::AutoPtr exivImageIn(const QByteArray& bytes)
{
    return Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
}

std::optional<ExivReading> readWithExiv2(const MediaFile& file)
{
    try {
        // A JPEG's metadata all lies before its first scan: exiv2 parses those
        // bytes, read at once, from memory and without the XMP packet, and the
        // frame found on the way gives the header. A PNG's metadata chunks are
        // handed over the same way, without its pixels and XMP. Every other
        // file exiv2 reads itself. The buffer serves every photo its thread reads.
        thread_local QByteArray head;
        const BufferTrim trim{head};
        if (const std::optional<JpegLayout> layout = readJpegHead(file, head)) {
            const Exiv2::Image::AutoPtr image = exivImageIn(head);
            ExivReading reading = readFrom(*image);
            reading.jpegHeader = jpegHeader(*layout, image->exifData());
            return reading;
        }
        if (readPngMetadataChunks(file, head)) {
            return readFrom(*exivImageIn(head));
        }
        const std::unique_ptr<Exiv2::Image> image = exivImageOf(file);
        if (!image) {
            return std::nullopt;
        }
        return readFrom(*image);
    } catch (...) {
        // Damaged and hostile files end here: exiv2 reports them by throwing
        // its own errors and, deeper down, standard ones (bad_alloc, out_of_range).
        return std::nullopt;
    }
}

// libheif gives a HEIC or an AVIF the size its size box states, which may be
// anything (64 × 48 over a picture of 8000 × 6000): the size of the image it
// decodes is the one its pictures' coding gives (HEVC parameter sets, AV1
// sequence headers), transforms applied.
std::optional<PixelHeader> readHeicHeader(const QString& path, const MediaFile* file)
{
    std::optional<PixelHeader> header = readHeifHeader(path);
    const std::optional<HeifCoding> coding = header && file ? readHeifCoding(*file) : std::nullopt;
    const auto shown = coding && (coding->image.hevc || coding->image.av1) ? coding->shownSize() : std::nullopt;
    if (shown) {
        constexpr std::int64_t largest = std::numeric_limits<int>::max();
        header->width = int(std::min(shown->first, largest));
        header->height = int(std::min(shown->second, largest));
    }
    return header;
}

std::optional<PixelHeader> readHeader(const QString& path, const MediaFile* file, const std::optional<ExivReading>& exiv)
{
    if (exiv && exiv->jpegHeader) {
        return exiv->jpegHeader;
    }
    // One libheif reading both decides "HEIF" and gives its header.
    if (std::optional<PixelHeader> heif = readHeicHeader(path, file)) {
        return heif;
    }
    if (isCameraRaw(path) && exiv && exiv->width > 0 && exiv->height > 0) {
        PixelHeader header;
        header.width = exiv->width;
        header.height = exiv->height;
        return header;
    }
    return readImageHeader(path);
}

void addHeader(const PixelHeader& header, QVariantMap& properties)
{
    properties.insert(QStringLiteral("PixelWidth"), header.width);
    properties.insert(QStringLiteral("PixelHeight"), header.height);
    if (header.depth) {
        properties.insert(QStringLiteral("Depth"), *header.depth);
    }
    if (header.colorModel) {
        properties.insert(QStringLiteral("ColorModel"), *header.colorModel);
    }
    properties.insert(QStringLiteral("HasAlpha"), header.hasAlpha);
}

// Dots per inch from an Exif resolution tag in "{TIFF}", in its ResolutionUnit
// (inches when the tag is absent, as Exif says; "none" gives nothing).
std::optional<double> exifDotsPerInch(const QVariantMap& tiff, const QString& key)
{
    constexpr qlonglong inches = 2;
    constexpr qlonglong centimetres = 3;
    bool isNumber = false;
    const double value = tiff.value(key).toDouble(&isNumber);
    const qlonglong unit = tiff.value(QStringLiteral("ResolutionUnit"), inches).toLongLong();
    if (!isNumber || !(value > 0) || !std::isfinite(value) || (unit != inches && unit != centimetres)) {
        return std::nullopt;
    }
    return unit == centimetres ? value * 2.54 : value;
}

// The resolution only where the file holds one: the header's, else the Exif
// tags (which libvips reads for JPEG and TIFF but not for WebP, and libheif
// never). Readers that find none give none; no default is invented.
void addResolution(const std::optional<PixelHeader>& header, QVariantMap& properties)
{
    const QVariantMap tiff = properties.value(QStringLiteral("{TIFF}")).toMap();
    const auto [width, height] = header && header->dpiWidth && header->dpiHeight
        ? std::pair(header->dpiWidth, header->dpiHeight)
        : std::pair(exifDotsPerInch(tiff, QStringLiteral("XResolution")),
                    exifDotsPerInch(tiff, QStringLiteral("YResolution")));
    if (width && height) {
        properties.insert(QStringLiteral("DPIWidth"), *width);
        properties.insert(QStringLiteral("DPIHeight"), *height);
    }
}

// The top-level orientation is the Exif tag, except where the reader has
// already applied the container's rotation to the size.
void addOrientation(const std::optional<PixelHeader>& header, QVariantMap& properties)
{
    if (header && header->orientationApplied) {
        properties.insert(QStringLiteral("Orientation"), 1);
        return;
    }
    const QVariant tagged = properties.value(QStringLiteral("{TIFF}")).toMap().value(QStringLiteral("Orientation"));
    if (tagged.typeId() == QMetaType::LongLong) {
        properties.insert(QStringLiteral("Orientation"), tagged);
    }
}

std::optional<QVariantMap> propertiesOf(const QString& path, const MediaFile* file,
                                       const std::optional<ExivReading>& exiv)
{
    const std::optional<PixelHeader> header = readHeader(path, file, exiv);
    if (!exiv && !header) {
        return std::nullopt;
    }
    QVariantMap properties = exiv ? exiv->groups : QVariantMap();
    if (header) {
        addHeader(*header, properties);
    }
    addOrientation(header, properties);
    addResolution(header, properties);
    return properties;
}

} // namespace

std::optional<QVariantMap> readImageProperties(const QString& path)
{
    initializeMediaLibraries();
    const std::optional<MediaFile> file = MediaFile::open(path);
    return propertiesOf(path, file ? &*file : nullptr, file ? readWithExiv2(*file) : std::nullopt);
}

std::optional<QVariantMap> readImageProperties(const QString& path, const MediaFile& file)
{
    initializeMediaLibraries();
    return propertiesOf(path, &file, readWithExiv2(file));
}

} // namespace pivra
