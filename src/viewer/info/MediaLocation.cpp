#include "viewer/info/MediaLocation.h"

#include "media/video/VideoInput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace pivra::MediaLocation {
namespace {

// The place keys, as the inspection writes them and in the other spelling.
const QStringList cityKeys{QStringLiteral("City")};
const QStringList provinceKeys{QStringLiteral("Province/State"), QStringLiteral("Province-State")};
const QStringList countryKeys{QStringLiteral("Country/PrimaryLocationName"),
                              QStringLiteral("Country-PrimaryLocationName")};

// The whole text as one finite decimal number in the C locale; a leading
// "+" is allowed.
std::optional<double> decimal(const QString& text)
{
    const std::string bytes = text.toStdString();
    const char* begin = bytes.data();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> number(const QJsonValue& value)
{
    if (value.isDouble()) {
        return value.toDouble();
    }
    if (value.isBool()) {
        return value.toBool() ? 1.0 : 0.0;
    }
    if (value.isString()) {
        return decimal(value.toString());
    }
    return std::nullopt;
}

std::optional<QString> placeLine(const QJsonValue& iptc)
{
    if (!iptc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = iptc.toObject();
    QStringList parts;
    for (const QStringList* keys : {&cityKeys, &provinceKeys, &countryKeys}) {
        for (const QString& key : *keys) {
            const QJsonValue value = object.value(key);
            if (value.isString() && !value.toString().isEmpty()) {
                parts.append(value.toString());
                break;
            }
        }
    }
    return parts.isEmpty() ? std::nullopt : std::optional(parts.join(QStringLiteral(", ")));
}

std::optional<QString> gpsLine(const QJsonValue& gps)
{
    if (!gps.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = gps.toObject();
    auto latitude = number(object.value(QStringLiteral("Latitude")));
    auto longitude = number(object.value(QStringLiteral("Longitude")));
    if (!latitude || !longitude) {
        return std::nullopt;
    }
    if (object.value(QStringLiteral("LatitudeRef")).toString() == u"S") {
        *latitude = -*latitude;
    }
    if (object.value(QStringLiteral("LongitudeRef")).toString() == u"W") {
        *longitude = -*longitude;
    }
    return coordinates(*latitude, *longitude);
}

// Degrees only: two integer digits of latitude and three of longitude, each
// signed; whatever follows (altitude, "/") is not read.
std::optional<QString> iso6709Line(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^([+-]\d{2}(?:\.\d+)?)([+-]\d{3}(?:\.\d+)?))"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const auto latitude = decimal(match.captured(1));
    const auto longitude = decimal(match.captured(2));
    if (!latitude || !longitude || std::abs(*latitude) > 90 || std::abs(*longitude) > 180) {
        return std::nullopt;
    }
    return coordinates(*latitude, *longitude);
}

} // namespace

QString coordinates(double latitude, double longitude)
{
    return QString::asprintf("%.4f° %s, %.4f° %s", std::abs(latitude), latitude < 0 ? "S" : "N",
                             std::abs(longitude), longitude < 0 ? "W" : "E");
}

std::optional<QString> label(const std::optional<QString>& json)
{
    if (!json) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(json->toUtf8());
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    if (auto place = placeLine(object.value(QStringLiteral("{IPTC}")))) {
        return place;
    }
    if (auto gps = gpsLine(object.value(QStringLiteral("{GPS}")))) {
        return gps;
    }
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        if (entry.key().toLower().contains(u"location") && entry.value().isString()) {
            if (auto line = iso6709Line(entry.value().toString())) {
                return line;
            }
        }
    }
    return std::nullopt;
}

std::optional<QString> videoLabel(const QString& path)
{
    const VideoInput input = openVideoInput(path);
    if (!input) {
        return std::nullopt;
    }
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(input->metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        if (QLatin1StringView(tag->key) == QLatin1StringView("com.apple.quicktime.location.ISO6709")) {
            if (auto line = iso6709Line(QString::fromUtf8(tag->value))) {
                return line;
            }
        }
    }
    return std::nullopt;
}

} // namespace pivra::MediaLocation
