// Reading a position back out of a stored metadata text.
#include "media/metadata/Iso6709.h"
#include "media/metadata/MediaMetadata.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace pivra::MediaMetadata {
namespace {

constexpr qsizetype shortestParsedText = 3; // "{}" and "[]" are never parsed

std::optional<GeoLocation> imageLocation(const QJsonObject& properties)
{
    const QJsonValue gps = properties.value(QStringLiteral("{GPS}"));
    const QJsonValue tiff = properties.value(QStringLiteral("{TIFF}"));
    if (!gps.isObject() || !tiff.isObject()) {
        return std::nullopt;
    }
    const QJsonObject tiffGroup = tiff.toObject();
    if (!tiffGroup.contains(QStringLiteral("Make")) && !tiffGroup.contains(QStringLiteral("Model"))) {
        return std::nullopt;
    }
    const QJsonObject gpsGroup = gps.toObject();
    const QJsonValue latitudeValue = gpsGroup.value(QStringLiteral("Latitude"));
    const QJsonValue longitudeValue = gpsGroup.value(QStringLiteral("Longitude"));
    if (!latitudeValue.isDouble() || !longitudeValue.isDouble()) {
        return std::nullopt;
    }
    double latitude = latitudeValue.toDouble();
    double longitude = longitudeValue.toDouble();
    const QJsonValue latitudeRef = gpsGroup.value(QStringLiteral("LatitudeRef"));
    if (latitudeRef.isString() && latitudeRef.toString().toUpper() == u"S") {
        latitude = -latitude;
    }
    const QJsonValue longitudeRef = gpsGroup.value(QStringLiteral("LongitudeRef"));
    if (longitudeRef.isString() && longitudeRef.toString().toUpper() == u"W") {
        longitude = -longitude;
    }
    return validLocation(latitude, longitude);
}

std::optional<GeoLocation> videoLocation(const QJsonObject& metadata)
{
    const QStringList keys = metadata.keys();
    const bool namesCamera = std::any_of(keys.cbegin(), keys.cend(), [](const QString& key) {
        const QString lower = key.toLower();
        return lower.endsWith(u".make") || lower.endsWith(u".model");
    });
    if (!namesCamera) {
        return std::nullopt;
    }
    for (const QString& key : keys) {
        if (key.toLower().endsWith(u"location.iso6709")) {
            const QJsonValue value = metadata.value(key);
            return value.isString() ? iso6709(value.toString()) : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<GeoLocation> location(const std::optional<QString>& json, MediaKind kind)
{
    if (!json || json->size() < shortestParsedText) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(json->toUtf8());
    if (!document.isObject()) {
        return std::nullopt;
    }
    return kind == MediaKind::video ? videoLocation(document.object()) : imageLocation(document.object());
}

} // namespace pivra::MediaMetadata
