#include "support/files/HeicMaker.h"

#include "support/files/ExifBlock.h"
#include "support/files/HeifObjects.h"
#include "support/files/RepeatedRowsEncoder.h"

#include <QFile>
#include <QtEndian>
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace pivra::test {
namespace {

using Context = HeifContextPtr;
using Encoder = HeifEncoderPtr;
using Image = HeifImagePtr;
using Handle = HeifHandlePtr;
using Options = HeifOptionsPtr;

bool ok(heif_error error) { return heifOk(error); }

Image filledImage(QSize size, QColor color, const HeicFields& fields)
{
    const bool deep = fields.bitDepth > 8;
    const heif_chroma chroma = deep ? (fields.alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (fields.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* raw = nullptr;
    if (!ok(heif_image_create(size.width(), size.height(), heif_colorspace_RGB, chroma, &raw))) {
        return {};
    }
    Image image(raw);
    if (!ok(heif_image_add_plane(raw, heif_channel_interleaved, size.width(), size.height(), fields.bitDepth))) {
        return {};
    }
    const int shift = fields.bitDepth - 8;
    std::vector<int> pixel{color.red() << shift, color.green() << shift, color.blue() << shift};
    if (fields.alpha) {
        pixel.push_back(128 << shift);
    }
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    const qsizetype samples = qsizetype(pixel.size());
    const int white = 255 << shift;
    for (int y = 0; y < size.height(); ++y) {
        uint8_t* row = plane + qsizetype(y) * stride;
        for (qsizetype at = 0; at < size.width() * samples; ++at) {
            const bool marked = fields.markedCorner && y < size.height() / 2 && at / samples < size.width() / 2
                && at % samples < 3;
            const int sample = marked ? white : pixel[std::size_t(at % samples)];
            if (deep) {
                row[at * 2] = uint8_t(sample & 0xFF); // little-endian
                row[at * 2 + 1] = uint8_t(sample >> 8);
            } else {
                row[at] = uint8_t(sample);
            }
        }
    }
    return image;
}

// The same as filledImage's, in 4:2:0 planes of YCbCr as libheif converts
// RGB (BT.601, full range), with an alpha plane of its own.
Image filledPlanes(QSize size, QColor color, const HeicFields& fields)
{
    const double red = color.redF();
    const double green = color.greenF();
    const double blue = color.blueF();
    const int top = (1 << fields.bitDepth) - 1;
    const QSize halved((size.width() + 1) / 2, (size.height() + 1) / 2);
    const int middle = 1 << (fields.bitDepth - 1);
    const struct {
        heif_channel channel;
        QSize size;
        int value;
    } planes[] = {
        {heif_channel_Y, size, qRound(top * (0.299 * red + 0.587 * green + 0.114 * blue))},
        {heif_channel_Cb, halved, middle + qRound(top * (-0.168736 * red - 0.331264 * green + 0.5 * blue))},
        {heif_channel_Cr, halved, middle + qRound(top * (0.5 * red - 0.418688 * green - 0.081312 * blue))},
        {heif_channel_Alpha, size, 128 << (fields.bitDepth - 8)},
    };
    heif_image* raw = nullptr;
    if (!ok(heif_image_create(size.width(), size.height(), heif_colorspace_YCbCr, heif_chroma_420, &raw))) {
        return {};
    }
    Image image(raw);
    for (const auto& plane : planes) {
        if (plane.channel == heif_channel_Alpha && !fields.alpha) {
            continue;
        }
        if (!ok(heif_image_add_plane(raw, plane.channel, plane.size.width(), plane.size.height(), fields.bitDepth))) {
            return {};
        }
        int stride = 0;
        uint8_t* data = heif_image_get_plane(raw, plane.channel, &stride);
        if (fields.bitDepth == 8) {
            std::memset(data, plane.value, std::size_t(stride) * std::size_t(plane.size.height()));
            continue;
        }
        for (int y = 0; y < plane.size.height(); ++y) {
            auto* row = reinterpret_cast<uint16_t*>(data + qsizetype(y) * stride);
            std::fill(row, row + plane.size.width(), qToLittleEndian(uint16_t(plane.value)));
        }
    }
    return image;
}

// The major brand sits right after the file's first box header, "....ftyp".
bool replaceMajorBrand(const QString& path, const QByteArray& brand)
{
    constexpr qint64 brandOffset = 8;
    QFile file(path);
    if (brand.size() != 4 || !file.open(QIODevice::ReadWrite) || file.read(brandOffset).mid(4) != "ftyp") {
        return false;
    }
    return file.write(brand) == brand.size();
}

// The file's item properties ('ipco'), each child's start, and its item
// associations ('ipma'), as libheif writes them.
struct Properties {
    QByteArray bytes;
    QList<qsizetype> starts;
    qsizetype associations = -1;
};

Properties propertiesOf(const QString& path)
{
    QFile file(path);
    Properties properties;
    properties.bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const QByteArray& bytes = properties.bytes;
    const qsizetype ipco = bytes.indexOf("ipco") - 4;
    if (ipco < 0) {
        return properties;
    }
    const qsizetype end = ipco + qFromBigEndian<quint32>(bytes.constData() + ipco);
    for (qsizetype at = ipco + 8; at + 8 <= end; at += qFromBigEndian<quint32>(bytes.constData() + at)) {
        properties.starts.append(at);
    }
    properties.associations = bytes.indexOf("ipma") - 4;
    return properties;
}

bool rewrite(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Swaps each item's turn and mirror in its list of properties (version 0,
// indexes of one byte).
bool listMirrorBeforeTurn(const QString& path)
{
    Properties properties = propertiesOf(path);
    QByteArray& bytes = properties.bytes;
    const auto typeAt = [&](int index) {
        return index >= 1 && index <= properties.starts.size() ? bytes.mid(properties.starts[index - 1] + 4, 4)
                                                               : QByteArray();
    };
    if (properties.associations < 0) {
        return false;
    }
    qsizetype at = properties.associations + 12;
    const quint32 entries = qFromBigEndian<quint32>(bytes.constData() + at);
    at += 4;
    for (quint32 entry = 0; entry < entries; ++entry) {
        const int count = uchar(bytes[at + 2]);
        at += 3;
        qsizetype turn = -1;
        qsizetype mirror = -1;
        for (qsizetype index = at; index < at + count; ++index) {
            const QByteArray type = typeAt(uchar(bytes[index]) & 0x7F);
            turn = type == "irot" ? index : turn;
            mirror = type == "imir" ? index : mirror;
        }
        if (turn >= 0 && mirror >= 0) {
            std::swap(bytes[turn], bytes[mirror]);
        }
        at += count;
    }
    return rewrite(path, bytes);
}

// Writes `image` with what `fields` adds to it, coded by the format's own
// encoder, or row by row (RepeatedRowsEncoder).
bool writeHeic(const QString& path, const heif_image* image, const HeicFields& fields, bool byRows, int quality)
{
    Context context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    const heif_compression_format format = fields.av1 ? heif_compression_AV1 : heif_compression_HEVC;
    if (!context) {
        return false;
    }
    if (byRows) {
        rawEncoder = repeatedRowsEncoder(context.get(), quality);
    } else if (ok(heif_context_get_encoder_for_format(context.get(), format, &rawEncoder))) {
        heif_encoder_set_lossy_quality(rawEncoder, quality);
        // The encoders' quickest search: a fixture's pixels are flat, and a
        // 48-MP one takes seconds instead of tens of them.
        heif_encoder_set_parameter_string(rawEncoder, fields.av1 ? "speed" : "preset", fields.av1 ? "9" : "ultrafast");
    }
    if (!rawEncoder) {
        return false;
    }
    Encoder encoder(rawEncoder);
    Options options(heif_encoding_options_alloc());
    options->image_orientation = static_cast<heif_orientation>(fields.containerOrientation);
    heif_image_handle* rawHandle = nullptr;
    if (!ok(heif_context_encode_image(context.get(), image, rawEncoder, options.get(), &rawHandle))) {
        return false;
    }
    Handle handle(rawHandle);
    const std::optional<QByteArray> block = exifBlock(fields.exif);
    if (!block) {
        return false;
    }
    if (!block->isEmpty()
        && !ok(heif_context_add_exif_metadata(context.get(), rawHandle, block->constData(), int(block->size())))) {
        return false;
    }
    if (!fields.xmpPacket.isEmpty()
        && !ok(heif_context_add_XMP_metadata(context.get(), rawHandle, fields.xmpPacket.constData(),
                                             int(fields.xmpPacket.size())))) {
        return false;
    }
    if (!ok(heif_context_write_to_file(context.get(), path.toUtf8().constData()))) {
        return false;
    }
    if (byRows) {
        QFile written(path);
        if (!written.open(QIODevice::ReadOnly) || !rewrite(path, withJoinedExtents(written.readAll()))) {
            return false;
        }
    }
    return (fields.majorBrand.isEmpty() || replaceMajorBrand(path, fields.majorBrand))
        && (!fields.mirrorBeforeTurn || listMirrorBeforeTurn(path));
}

} // namespace

bool stateHeicSize(const QString& path, QSize stated)
{
    Properties properties = propertiesOf(path);
    for (const qsizetype start : properties.starts) {
        if (properties.bytes.mid(start + 4, 4) == "ispe") {
            qToBigEndian(quint32(stated.width()), properties.bytes.data() + start + 12);
            qToBigEndian(quint32(stated.height()), properties.bytes.data() + start + 16);
        }
    }
    return !properties.starts.isEmpty() && rewrite(path, properties.bytes);
}

bool makeHeic(const QString& path, QSize size, const HeicFields& fields, QColor color, int quality)
{
    // A picture of one colour from a few megapixels up is coded a row of
    // blocks at a time, from planes filled as the encoder takes them, so
    // that neither filling nor converting its pixels one by one costs more
    // than the coding; should that fail, by libx265 as a whole.
    if (!fields.av1 && !fields.markedCorner && qint64(size.width()) * size.height() >= 4'000'000) {
        const Image planes = filledPlanes(size, color, fields);
        if (planes && writeHeic(path, planes.get(), fields, true, quality)) {
            return true;
        }
    }
    const Image image = filledImage(size, color, fields);
    return image && writeHeic(path, image.get(), fields, false, quality);
}

} // namespace pivra::test
