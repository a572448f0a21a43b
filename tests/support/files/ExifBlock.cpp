#include "support/files/ExifBlock.h"

#include "support/files/AppleMakerNote.h"

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

void addRationals(Exiv2::ExifData& exif, const char* key, const std::string& text)
{
    auto value = Exiv2::Value::create(Exiv2::unsignedRational);
    value->read(text);
    exif.add(Exiv2::ExifKey(key), value.get());
}

void fill(Exiv2::ExifData& exif, const ExifFields& fields)
{
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
        addRationals(exif, "Exif.GPSInfo.GPSLatitude", gpsRationals(*fields.latitude));
        exif["Exif.GPSInfo.GPSLongitudeRef"] = *fields.longitude < 0 ? "W" : "E";
        addRationals(exif, "Exif.GPSInfo.GPSLongitude", gpsRationals(*fields.longitude));
    }
    if (fields.dotsPerInch) {
        const auto resolution = Exiv2::URational(*fields.dotsPerInch, 1);
        exif["Exif.Image.XResolution"] = resolution;
        exif["Exif.Image.YResolution"] = resolution;
        exif["Exif.Image.ResolutionUnit"] = uint16_t(2); // inches
    }
    if (fields.liveIdentifier) {
        const QByteArray note = appleMakerNote(*fields.liveIdentifier);
        Exiv2::DataValue value(Exiv2::undefined);
        value.read(reinterpret_cast<const Exiv2::byte*>(note.constData()), long(note.size()));
        exif.add(Exiv2::ExifKey("Exif.Photo.MakerNote"), &value);
    }
}

} // namespace

std::optional<QByteArray> exifBlock(const ExifFields& fields)
{
    try {
        Exiv2::ExifData exif;
        fill(exif, fields);
        if (exif.empty()) {
            return QByteArray(); // nothing to write: the JPEG stays without Exif
        }
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, exif);
        return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
    } catch (const Exiv2::AnyError&) {
        return std::nullopt;
    }
}

} // namespace pivra::test
