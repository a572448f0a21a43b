#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QList>
#include <QStringList>
#include <optional>
#include <utility>

namespace pivra::test {

// Exif fields a fixture JPEG can carry. Unset fields are not written at all,
// so a test can tell "no date" from "a date".
struct ExifFields {
    std::optional<QString> dateTimeOriginal; // "YYYY:MM:DD HH:MM:SS", local time
    std::optional<QString> make;
    std::optional<QString> model;
    std::optional<QString> lensModel;
    std::optional<double> latitude;  // degrees, north positive
    std::optional<double> longitude; // degrees, east positive
    std::optional<int> orientation;  // Exif orientation 1..8
    std::optional<QString> liveIdentifier; // written inside an Apple maker note (tag 0x0011)
    std::optional<int> dotsPerInch;        // XResolution and YResolution, in inches
};

// IPTC (IIM) place and keyword fields; unset fields are not written.
struct IptcFields {
    std::optional<QString> city;
    std::optional<QString> provinceState;
    std::optional<QString> country;
    std::optional<QString> countryCode;
    QStringList keywords;
};

// Writes a real JPEG of `size` pixels (stored size, before orientation) filled
// with `color`, then adds `exif` through exiv2. Answers false when anything fails.
bool makeJpeg(const QString& path, QSize size, const ExifFields& exif = {}, QColor color = Qt::darkCyan,
              int quality = 90);

// Writes a real GIF of `size` pixels filled with `color` through libvips (Qt
// cannot write GIF). Answers false when anything fails.
bool makeGif(const QString& path, QSize size, QColor color = Qt::darkCyan);

// Writes a real JPEG of `size` pixels, grainy red above and grainy blue
// below, with a restart marker after every eight blocks, as cameras write
// them, and then damages it as a failing card does: a byte is changed in
// each stretch between two markers of the second half of its entropy-coded
// data, so that the upper half decodes whole and no stretch of the lower
// half does. libvips gives up on such a file; other decoders draw it.
bool makeDamagedJpeg(const QString& path, QSize size);

// Adds `exif` to an existing image exiv2 can write Exif into (JPEG, PNG, TIFF…).
bool addExif(const QString& path, const ExifFields& exif);

// Adds `iptc` to an existing JPEG (or any file exiv2 can write IPTC into).
bool addIptc(const QString& path, const IptcFields& iptc);

// Adds an XMP packet to an existing image through exiv2, as cameras and
// editors write one (padded for edits, as exiv2 pads it): `properties` maps
// exiv2 keys ("Xmp.xmp.Rating") to their text.
bool addXmp(const QString& path, const QList<std::pair<QString, QString>>& properties);

// The same properties as an XMP packet of their own, for containers exiv2
// cannot write (HEIF); nothing when exiv2 cannot encode them.
std::optional<QByteArray> xmpPacket(const QList<std::pair<QString, QString>>& properties);

} // namespace pivra::test
