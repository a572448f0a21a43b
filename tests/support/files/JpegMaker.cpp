#include "support/files/JpegMaker.h"

#include "support/files/ExifBlock.h"

#include <QFile>
#include <QImage>
#include <exiv2/exiv2.hpp>
#include <vips/vips.h>

#include <cstdint>

namespace pivra::test {
namespace {

void writeExif(const QString& path, const ExifFields& fields)
{
    const std::optional<QByteArray> block = exifBlock(fields);
    if (!block) {
        throw Exiv2::Error(Exiv2::kerErrorMessage, "the Exif fields could not be encoded");
    }
    if (block->isEmpty()) {
        return;
    }
    Exiv2::ExifData fieldsData;
    Exiv2::ExifParser::decode(fieldsData, reinterpret_cast<const Exiv2::byte*>(block->constData()),
                              uint32_t(block->size()));
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    // A field the file has already (an encoder's orientation of 1) takes the
    // new value rather than a second tag beside it.
    Exiv2::ExifData& exif = image->exifData();
    for (const Exiv2::Exifdatum& datum : fieldsData) {
        exif[datum.key()].setValue(&datum.value());
    }
    image->writeMetadata();
}

void addString(Exiv2::IptcData& iptc, const char* key, const QString& text)
{
    Exiv2::StringValue value(text.toStdString());
    iptc.add(Exiv2::IptcKey(key), &value);
}

} // namespace

bool makeJpeg(const QString& path, QSize size, const ExifFields& exif, QColor color, int quality)
{
    QImage pixels(size, QImage::Format_RGB32);
    pixels.fill(color);
    return pixels.save(path, "JPEG", quality) && addExif(path, exif);
}

bool makeGif(const QString& path, QSize size, QColor color)
{
    if (VIPS_INIT("pivra-tests") != 0) {
        return false;
    }
    QByteArray pixels;
    for (qsizetype index = 0; index < qsizetype(size.width()) * size.height(); ++index) {
        pixels.append(char(color.red())).append(char(color.green())).append(char(color.blue()));
    }
    VipsImage* image = vips_image_new_from_memory(pixels.constData(), size_t(pixels.size()), size.width(),
                                                  size.height(), 3, VIPS_FORMAT_UCHAR);
    if (!image) {
        return false;
    }
    const bool written = vips_image_write_to_file(image, QFile::encodeName(path).constData(), nullptr) == 0;
    g_object_unref(image);
    return written;
}

bool makeDamagedJpeg(const QString& path, QSize size)
{
    if (VIPS_INIT("pivra-tests") != 0) {
        return false;
    }
    // Grain over both colours, so that each stretch between two markers
    // holds tens of bytes, as a photo's do.
    QImage picture(size, QImage::Format_RGB888);
    std::uint32_t grain = 1;
    for (int y = 0; y < size.height(); ++y) {
        uchar* pixel = picture.scanLine(y);
        const bool above = y < size.height() / 2;
        for (int x = 0; x < size.width(); ++x, pixel += 3) {
            grain = grain * 1664525U + 1013904223U;
            const auto level = uchar(grain >> 26); // 0 to 63
            pixel[0] = above ? 255 - level : level;
            pixel[1] = level;
            pixel[2] = above ? level : 255 - level;
        }
    }
    VipsImage* image = vips_image_new_from_memory(picture.constBits(), size_t(picture.sizeInBytes()), size.width(),
                                                  size.height(), 3, VIPS_FORMAT_UCHAR);
    void* encoded = nullptr;
    size_t length = 0;
    // A restart marker after every eight blocks, as cameras write them.
    const bool written = image && picture.bytesPerLine() == size.width() * 3
                         && vips_jpegsave_buffer(image, &encoded, &length, "Q", 90, "restart_interval", 8, nullptr)
                                == 0;
    if (image) {
        g_object_unref(image);
    }
    if (!written) {
        return false;
    }
    QByteArray bytes(static_cast<const char*>(encoded), qsizetype(length));
    g_free(encoded);
    // A byte in the middle of each stretch between two restart markers of
    // the second half of the entropy-coded data is changed: never into a
    // 0xFF, which would start a marker, and never one next to a 0xFF.
    const qsizetype scan = bytes.indexOf("\xFF\xDA");
    const qsizetype end = bytes.lastIndexOf("\xFF\xD9");
    if (scan < 0 || end < scan) {
        return false;
    }
    const auto isRestart = [&bytes](qsizetype at) {
        return uchar(bytes[at]) == 0xFF && (uchar(bytes[at + 1]) & 0xF8) == 0xD0;
    };
    int damaged = 0;
    qsizetype previous = -1;
    for (qsizetype at = scan + (end - scan) / 2; at < end; ++at) {
        if (!isRestart(at)) {
            continue;
        }
        const qsizetype middle = (previous + at) / 2;
        if (previous >= 0 && uchar(bytes[middle - 1]) != 0xFF && uchar(bytes[middle]) != 0xFF
            && uchar(bytes[middle + 1]) != 0xFF) {
            const uchar changed = uchar(bytes[middle]) ^ 0x5A;
            bytes[middle] = char(changed == 0xFF ? 0x00 : changed);
            ++damaged;
        }
        previous = at;
    }
    QFile file(path);
    return damaged > 0 && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool addExif(const QString& path, const ExifFields& exif)
{
    try {
        writeExif(path, exif);
    } catch (const Exiv2::AnyError&) {
        return false;
    }
    return true;
}

bool addIptc(const QString& path, const IptcFields& fields)
{
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::IptcData& iptc = image->iptcData();
        if (fields.city) {
            addString(iptc, "Iptc.Application2.City", *fields.city);
        }
        if (fields.provinceState) {
            addString(iptc, "Iptc.Application2.ProvinceState", *fields.provinceState);
        }
        if (fields.country) {
            addString(iptc, "Iptc.Application2.CountryName", *fields.country);
        }
        if (fields.countryCode) {
            addString(iptc, "Iptc.Application2.CountryCode", *fields.countryCode);
        }
        for (const QString& keyword : fields.keywords) {
            addString(iptc, "Iptc.Application2.Keywords", keyword);
        }
        image->writeMetadata();
    } catch (const Exiv2::AnyError&) {
        return false;
    }
    return true;
}

namespace {

void setXmp(Exiv2::XmpData& xmp, const QList<std::pair<QString, QString>>& properties)
{
    for (const auto& [key, text] : properties) {
        xmp[key.toStdString()] = text.toStdString();
    }
}

} // namespace

bool addXmp(const QString& path, const QList<std::pair<QString, QString>>& properties)
{
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        setXmp(image->xmpData(), properties);
        image->writeMetadata();
    } catch (const Exiv2::AnyError&) {
        return false;
    }
    return true;
}

std::optional<QByteArray> xmpPacket(const QList<std::pair<QString, QString>>& properties)
{
    try {
        Exiv2::XmpData xmp;
        setXmp(xmp, properties);
        std::string packet;
        if (Exiv2::XmpParser::encode(packet, xmp) != 0) {
            return std::nullopt;
        }
        return QByteArray::fromStdString(packet);
    } catch (const Exiv2::AnyError&) {
        return std::nullopt;
    }
}

} // namespace pivra::test
