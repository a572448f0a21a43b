#include "support/JpegMaker.h"

#include "support/ExifBlock.h"

#include <QFile>
#include <QImage>
#include <exiv2/exiv2.hpp>
#include <vips/vips.h>

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
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifParser::decode(image->exifData(), reinterpret_cast<const Exiv2::byte*>(block->constData()),
                              uint32_t(block->size()));
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
