#include "media/metadata/properties/PropertyGroups.h"

#include "media/metadata/properties/MakerAppleNote.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <cmath>

namespace pivra {
namespace {

// IFD0 tags the platform reports under "{TIFF}".
const QSet<QString>& tiffTags()
{
    static const QSet<QString> tags{
        "Make", "Model", "Software", "DateTime", "Orientation", "XResolution", "YResolution",
        "ResolutionUnit", "HostComputer", "Artist", "Copyright", "ImageDescription",
    };
    return tags;
}

// Where exiv2's tag names differ from the platform's Exif keys.
QString exifKey(const QString& tagName)
{
    static const QHash<QString, QString> renamed{
        {"FocalLengthIn35mmFilm", "FocalLenIn35mmFilm"},
        {"SubSecTime", "SubsecTime"},
        {"SubSecTimeOriginal", "SubsecTimeOriginal"},
        {"SubSecTimeDigitized", "SubsecTimeDigitized"},
        {"FlashpixVersion", "FlashPixVersion"},
    };
    return renamed.value(tagName, tagName);
}

// "0232" → [2, 3, 2]: the two-digit major number, then each remaining digit.
QVariantList versionDigits(const QString& digits)
{
    QVariantList parts;
    if (digits.size() != 4) {
        return parts;
    }
    parts.append(digits.first(2).toInt());
    for (const QChar digit : digits.sliced(2)) {
        parts.append(digit.digitValue());
    }
    return parts;
}

QVariant exifValue(const QString& key, const Exiv2::Value& value)
{
    if (key == "ExifVersion" || key == "FlashPixVersion") {
        return versionDigits(QString::fromLatin1(exiv::bytes(value).left(4)));
    }
    if (key == "UserComment") {
        return exiv::comment(value);
    }
    if (key == "ComponentsConfiguration" || key == "ISOSpeedRatings") {
        return exiv::numbers(value);
    }
    if (value.typeId() == Exiv2::undefined && value.count() == 1) {
        return qlonglong(value.toLong(0)); // SceneType, FileSource
    }
    return exiv::plain(value);
}

// Degrees, minutes and seconds rationals as positive decimal degrees; the
// hemisphere stays in the reference entry beside it.
QVariant decimalDegrees(const Exiv2::Value& value)
{
    double degrees = 0;
    double scale = 1;
    for (long index = 0; index < value.count() && index < 3; ++index) {
        degrees += exiv::number(value, index).toDouble() / scale;
        scale *= 60;
    }
    return value.count() > 0 ? QVariant(degrees) : QVariant();
}

// Hours, minutes and seconds rationals as "HH:mm:ss".
QVariant timeStamp(const Exiv2::Value& value)
{
    if (value.count() != 3) {
        return {};
    }
    QStringList parts;
    for (long index = 0; index < 3; ++index) {
        const double part = exiv::number(value, index).toDouble();
        if (!std::isfinite(part) || part < 0 || part >= 100) {
            return {};
        }
        parts.append(QString::number(int(part)).rightJustified(2, '0'));
    }
    return parts.join(':');
}

QVariant gpsValue(const QString& key, const Exiv2::Value& value)
{
    if (key == "Latitude" || key == "Longitude" || key == "DestLatitude" || key == "DestLongitude") {
        return decimalDegrees(value);
    }
    if (key == "TimeStamp") {
        return timeStamp(value);
    }
    if (key == "GPSVersion") {
        return exiv::numbers(value);
    }
    if (key == "ProcessingMethod" || key == "AreaInformation") {
        return exiv::comment(value);
    }
    return exiv::plain(value);
}

QString gpsKey(const QString& tagName)
{
    if (tagName == "GPSVersionID") {
        return QStringLiteral("GPSVersion");
    }
    return tagName.startsWith("GPS") ? tagName.sliced(3) : tagName;
}

void insertIfPresent(QVariantMap& group, const QString& key, const QVariant& value)
{
    if (value.isValid()) {
        group.insert(key, value);
    }
}

void insertGroup(QVariantMap& properties, const QString& name, const QVariantMap& group)
{
    if (!group.isEmpty()) {
        properties.insert(name, group);
    }
}

// IPTC datasets under the platform's names; the repeatable ones become lists.
struct IptcKey {
    const char* platformName;
    bool repeatable;
};

const QHash<QString, IptcKey>& iptcKeys()
{
    static const QHash<QString, IptcKey> keys{
        {"City", {"City", false}},
        {"ProvinceState", {"Province/State", false}},
        {"CountryName", {"Country/PrimaryLocationName", false}},
        {"CountryCode", {"Country/PrimaryLocationCode", false}},
        {"SubLocation", {"SubLocation", false}},
        {"Keywords", {"Keywords", true}},
        {"Caption", {"Caption/Abstract", false}},
        {"ObjectName", {"ObjectName", false}},
        {"Byline", {"Byline", true}},
        {"Copyright", {"CopyrightNotice", false}},
        {"DateCreated", {"DateCreated", false}},
        {"TimeCreated", {"TimeCreated", false}},
    };
    return keys;
}

// IIM dates and times in their stored forms, "YYYYMMDD" and "HHMMSS±HHMM".
QString iptcText(const Exiv2::Value& value)
{
    if (const auto* date = dynamic_cast<const Exiv2::DateValue*>(&value)) {
        const Exiv2::DateValue::Date& parts = date->getDate();
        return QString::asprintf("%04d%02d%02d", parts.year, parts.month, parts.day);
    }
    if (const auto* time = dynamic_cast<const Exiv2::TimeValue*>(&value)) {
        const Exiv2::TimeValue::Time& parts = time->getTime();
        const bool west = parts.tzHour < 0 || parts.tzMinute < 0;
        return QString::asprintf("%02d%02d%02d%c%02d%02d", parts.hour, parts.minute, parts.second, west ? '-' : '+',
                                 std::abs(parts.tzHour), std::abs(parts.tzMinute));
    }
    return exiv::text(value);
}

} // namespace

void addExifGroups(const Exiv2::ExifData& exif, QVariantMap& properties)
{
    QVariantMap tiff;
    QVariantMap exifGroup;
    QVariantMap gps;
    for (const Exiv2::Exifdatum& datum : exif) {
        const QString group = QString::fromStdString(datum.groupName());
        const QString tagName = QString::fromStdString(datum.tagName());
        if (tagName.startsWith("0x")) {
            continue; // tags exiv2 does not know have no platform name either
        }
        const Exiv2::Value& value = datum.value();
        if (group == "Image" && tiffTags().contains(tagName)) {
            tiff.insert(tagName, exiv::plain(value));
        } else if (group == "Photo" && tagName == "MakerNote") {
            if (auto decoded = decodeMakerApple(exiv::bytes(value))) {
                insertGroup(properties, QStringLiteral("{MakerApple}"), *decoded);
            }
        } else if (group == "Photo" && tagName != "InteroperabilityTag") {
            const QString key = exifKey(tagName);
            insertIfPresent(exifGroup, key, exifValue(key, value));
        } else if (group == "GPSInfo") {
            const QString key = gpsKey(tagName);
            insertIfPresent(gps, key, gpsValue(key, value));
        }
    }
    insertGroup(properties, QStringLiteral("{TIFF}"), tiff);
    insertGroup(properties, QStringLiteral("{Exif}"), exifGroup);
    insertGroup(properties, QStringLiteral("{GPS}"), gps);
}

void addIptcGroup(const Exiv2::IptcData& iptc, QVariantMap& properties)
{
    QVariantMap group;
    for (const Exiv2::Iptcdatum& datum : iptc) {
        const auto key = iptcKeys().constFind(QString::fromStdString(datum.tagName()));
        if (key == iptcKeys().cend() || datum.recordName() != "Application2") {
            continue;
        }
        const QString name = QString::fromLatin1(key->platformName);
        const QString text = iptcText(datum.value());
        if (key->repeatable) {
            QVariantList list = group.value(name).toList();
            list.append(text);
            group.insert(name, list);
        } else if (!group.contains(name)) {
            group.insert(name, text);
        }
    }
    insertGroup(properties, QStringLiteral("{IPTC}"), group);
}

} // namespace pivra
