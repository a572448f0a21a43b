#include "media/formats/JpegHeader.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdint>

namespace pivra {
namespace {

constexpr std::uint8_t markerByte = 0xFF;
constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t startOfScan = 0xDA;
constexpr std::uint8_t jfifMarker = 0xE0;
constexpr std::uint8_t app1Marker = 0xE1;
// The name an APP1 segment of XMP begins with, its NUL included.
constexpr QByteArrayView xmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
// Baseline, extended and progressive Huffman frames: the ones the JPEG
// library reads at 8 bits. Lossless and arithmetic frames go the long way.
constexpr std::array frameMarkers{std::uint8_t(0xC0), std::uint8_t(0xC1), std::uint8_t(0xC2)};
// A camera writes a handful of segments before the frame; a file that needs
// more is left to the general reader rather than walked for ever.
constexpr int mostSegments = 64;
constexpr double millimetresPerInch = 25.4;
constexpr double millimetresPerCentimetre = 10.0;

struct PixelsPerMillimetre {
    double x = 0;
    double y = 0;
};

using Frame = JpegLayout::Frame;
using Density = JpegLayout::Density;

// The frame's size and components, when it is one we read with certainty.
std::optional<Frame> readFrame(QByteArrayView data)
{
    constexpr int fixedLength = 6; // precision, height, width, component count
    if (data.size() < fixedLength || std::uint8_t(data[0]) != 8) {
        return std::nullopt;
    }
    const auto bytes = reinterpret_cast<const uchar*>(data.data());
    const Frame frame{qFromBigEndian<quint16>(bytes + 3), qFromBigEndian<quint16>(bytes + 1), bytes[5]};
    if (frame.width == 0 || frame.height == 0 || (frame.components != 1 && frame.components != 3)
        || data.size() != fixedLength + 3 * frame.components) {
        return std::nullopt;
    }
    return frame;
}

std::optional<Density> readDensity(QByteArrayView data)
{
    constexpr int jfifLength = 14; // identifier, version, unit, densities, thumbnail size
    if (data.size() < jfifLength || !data.startsWith(QByteArrayView("JFIF", 5))) {
        return std::nullopt;
    }
    const auto bytes = reinterpret_cast<const uchar*>(data.data());
    return Density{bytes[7], qFromBigEndian<quint16>(bytes + 8), qFromBigEndian<quint16>(bytes + 10)};
}

// One IFD0 rational, when it holds exactly one with a denominator.
std::optional<double> exifRational(const Exiv2::ExifData& exif, const char* key)
{
    const auto entry = exif.findKey(Exiv2::ExifKey(key));
    if (entry == exif.end() || entry->typeId() != Exiv2::unsignedRational || entry->count() != 1) {
        return std::nullopt;
    }
    const Exiv2::Rational value = entry->toRational(0);
    if (value.second == 0) {
        return std::nullopt;
    }
    return double(std::uint32_t(value.first)) / double(std::uint32_t(value.second));
}

// The resolution, when the file's tags leave no doubt about it; the outer
// optional is empty when they do. Exif's tags, when present, replace the JFIF
// density.
std::optional<std::optional<PixelsPerMillimetre>> resolution(const std::optional<Density>& density,
                                                             const Exiv2::ExifData& exif)
{
    const bool tagged = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution")) != exif.end()
        || exif.findKey(Exiv2::ExifKey("Exif.Image.YResolution")) != exif.end();
    if (tagged) {
        const std::optional<double> x = exifRational(exif, "Exif.Image.XResolution");
        const std::optional<double> y = exifRational(exif, "Exif.Image.YResolution");
        const auto unitEntry = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
        const bool unitShaped = unitEntry != exif.end() && unitEntry->typeId() == Exiv2::unsignedShort
            && unitEntry->count() == 1;
        const long unit = unitShaped ? unitEntry->toLong(0) : 0;
        if (!x || !y || (unit != 2 && unit != 3)) {
            return std::nullopt;
        }
        const double scale = unit == 2 ? millimetresPerInch : millimetresPerCentimetre;
        return PixelsPerMillimetre{*x / scale, *y / scale};
    }
    if (!density || density->unit == 0) {
        return std::optional<PixelsPerMillimetre>();
    }
    if ((density->unit != 1 && density->unit != 2) || density->x <= 1 || density->y <= 1) {
        return std::nullopt;
    }
    const double scale = density->unit == 1 ? millimetresPerInch : millimetresPerCentimetre;
    return PixelsPerMillimetre{density->x / scale, density->y / scale};
}

bool isXmpSegment(const QByteArray& head, qsizetype offset, int length)
{
    const auto marker = std::uint8_t(head[offset + 1]);
    return marker == app1Marker && length - 2 >= xmpSignature.size()
        && QByteArrayView(head).sliced(offset + 4, xmpSignature.size()) == xmpSignature;
}

} // namespace

namespace {

// The head of a JPEG read into a caller's buffer as far as its walk needs it:
// a first read takes what a camera writes before its first scan, and a head
// that goes on is read on in larger and larger pieces, so that a photo costs
// one or two reads and the buffer is allocated once for many photos.
class HeadReader {
public:
    HeadReader(const MediaFile& file, QByteArray& buffer) : file_(file), buffer_(buffer) { buffer_.resize(0); }

    // Makes the bytes [0, end) available as far as the file has them; answers
    // how many it has.
    qsizetype fill(qsizetype end)
    {
        constexpr qsizetype firstRead = 16 * 1024;
        if (end <= buffer_.size() || atEnd_) {
            return std::min(end, buffer_.size());
        }
        const qsizetype had = buffer_.size();
        const qsizetype wanted = std::min<qsizetype>(std::max({end, 2 * had, firstRead}), file_.size());
        buffer_.resize(wanted);
        const std::int64_t got = std::max<std::int64_t>(file_.read(had, buffer_.data() + had, wanted - had), 0);
        buffer_.resize(had + qsizetype(got));
        atEnd_ = buffer_.size() < wanted || buffer_.size() == file_.size();
        return std::min(end, buffer_.size());
    }

    // The bytes [offset, offset + length), fewer at the end of the file.
    QByteArrayView bytes(qsizetype offset, qsizetype length)
    {
        const qsizetype end = fill(offset + length);
        return offset < end ? QByteArrayView(buffer_).sliced(offset, end - offset) : QByteArrayView();
    }

private:
    const MediaFile& file_;
    QByteArray& buffer_;
    bool atEnd_ = false;
};

// The head's segments up to its first scan, with the XMP packet taken out in place.
void dropXmpPackets(QByteArray& head)
{
    qsizetype offset = 2;
    while (offset + 4 <= head.size() && std::uint8_t(head[offset]) == markerByte
           && std::uint8_t(head[offset + 1]) != startOfScan) {
        const int length = qFromBigEndian<quint16>(head.constData() + offset + 2);
        if (length < 2 || offset + 2 + length > head.size()) {
            return;
        }
        if (isXmpSegment(head, offset, length)) {
            head.remove(offset, 2 + length);
        } else {
            offset += 2 + length;
        }
    }
}

} // namespace

std::optional<JpegLayout> readJpegHead(const MediaFile& file, QByteArray& head)
{
    HeadReader reader(file, head);
    const QByteArrayView start = reader.bytes(0, 2);
    if (start.size() != 2 || std::uint8_t(start[0]) != markerByte || std::uint8_t(start[1]) != startOfImage) {
        return std::nullopt;
    }
    JpegLayout layout;
    bool plainFrame = true; // no frame, or exactly one that readFrame() reads
    qsizetype offset = 2;
    for (int segment = 0; segment < mostSegments; ++segment) {
        const QByteArrayView marking = reader.bytes(offset, 4); // marker, then the length that counts itself
        if (marking.size() < 2 || std::uint8_t(marking[0]) != markerByte) {
            return std::nullopt;
        }
        const auto marker = std::uint8_t(marking[1]);
        if (marker == startOfScan) {
            layout.scanOffset = offset;
            if (!plainFrame) {
                layout.frame.reset();
            }
            head.resize(reader.fill(offset + 4)); // through the scan's length
            dropXmpPackets(head);
            return layout;
        }
        const int length = marking.size() == 4 ? qFromBigEndian<quint16>(marking.data() + 2) : 0;
        if (length < 2 || offset + 2 + length > file.size()) {
            return std::nullopt;
        }
        if (std::find(frameMarkers.begin(), frameMarkers.end(), marker) != frameMarkers.end()) {
            plainFrame = plainFrame && !layout.frame;
            layout.frame = readFrame(reader.bytes(offset + 4, length - 2));
            plainFrame = plainFrame && layout.frame;
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC) {
            plainFrame = false; // another kind of frame (DHT and DAC are tables)
        } else if (marker == jfifMarker) {
            if (std::optional<Density> found = readDensity(reader.bytes(offset + 4, std::min(length - 2, 14)))) {
                layout.density = found;
            }
        }
        offset += 2 + length;
    }
    return std::nullopt;
}

std::optional<PixelHeader> jpegHeader(const JpegLayout& layout, const Exiv2::ExifData& exif)
{
    const std::optional<std::optional<PixelsPerMillimetre>> pixelsPerMillimetre = resolution(layout.density, exif);
    if (!layout.frame || !pixelsPerMillimetre) {
        return std::nullopt;
    }
    PixelHeader header;
    header.width = layout.frame->width;
    header.height = layout.frame->height;
    header.depth = 8;
    header.colorModel = layout.frame->components == 1 ? QStringLiteral("Gray") : QStringLiteral("RGB");
    if (*pixelsPerMillimetre) {
        header.dpiWidth = dotsPerInch((*pixelsPerMillimetre)->x);
        header.dpiHeight = dotsPerInch((*pixelsPerMillimetre)->y);
    }
    return header;
}

} // namespace pivra
