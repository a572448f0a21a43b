#include "support/JpegMaker.h"

#include <QImage>
#include <cmath>
#include <exiv2/exiv2.hpp>

namespace pivra::test {
namespace {

// Exif stores a coordinate as degrees, minutes and seconds rationals with the
// hemisphere in a separate reference tag.
std::string gpsRationals(double degrees)
{
    const double value = std::fabs(degrees);
    const int whole = static_cast<int>(value);
    const double minutesValue = (value - whole) * 60.0;
    const int minutes = static_cast<int>(minutesValue);
    const long secondsHundredths = std::lround((minutesValue - minutes) * 60.0 * 10000.0);
    return std::to_string(whole) + "/1 " + std::to_string(minutes) + "/1 " + std::to_string(secondsHundredths)
        + "/10000";
}

void writeExif(const QString& path, const ExifFields& fields)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    if (fields.dateTimeOriginal) {
        exif["Exif.Photo.DateTimeOriginal"] = fields.dateTimeOriginal->toStdString();
    }
    if (fields.make) {
        exif["Exif.Image.Make"] = fields.make->toStdString();
    }
    if (fields.model) {
        exif["Exif.Image.Model"] = fields.model->toStdString();
    }
    if (fields.lensModel) {
        exif["Exif.Photo.LensModel"] = fields.lensModel->toStdString();
    }
    if (fields.orientation) {
        exif["Exif.Image.Orientation"] = static_cast<uint16_t>(*fields.orientation);
    }
    if (fields.latitude && fields.longitude) {
        exif["Exif.GPSInfo.GPSVersionID"] = "2 2 0 0";
        exif["Exif.GPSInfo.GPSLatitudeRef"] = *fields.latitude < 0 ? "S" : "N";
        auto latitude = Exiv2::Value::create(Exiv2::unsignedRational);
        latitude->read(gpsRationals(*fields.latitude));
        exif.add(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"), latitude.get());
        exif["Exif.GPSInfo.GPSLongitudeRef"] = *fields.longitude < 0 ? "W" : "E";
        auto longitude = Exiv2::Value::create(Exiv2::unsignedRational);
        longitude->read(gpsRationals(*fields.longitude));
        exif.add(Exiv2::ExifKey("Exif.GPSInfo.GPSLongitude"), longitude.get());
    }
    image->writeMetadata();
}

} // namespace

bool makeJpeg(const QString& path, QSize size, const ExifFields& exif, QColor color, int quality)
{
    QImage pixels(size, QImage::Format_RGB32);
    pixels.fill(color);
    if (!pixels.save(path, "JPEG", quality)) {
        return false;
    }
    try {
        writeExif(path, exif);
    } catch (const Exiv2::Error&) {
        return false;
    }
    return true;
}

} // namespace pivra::test
