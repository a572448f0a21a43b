#include "store/places/Place.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>

namespace pivra {

namespace {

const QString nameKey = QStringLiteral("name");
const QString regionKey = QStringLiteral("region");
const QString countryKey = QStringLiteral("country");
const QString areaKey = QStringLiteral("area");
const QString dataKey = QStringLiteral("data");

// The characters besides numerals that a written coordinate is made of.
const QString coordinateMarks = QStringLiteral(u".,-+ °′″NSEW");

// A character counts as a numeral when its first code point has any numeric
// type: digits of every script, superscripts, fractions, roman numerals.
bool startsWithNumeral(QStringView character)
{
    const char32_t first = character.toUcs4().value(0);
    return u_getIntPropertyValue(UChar32(first), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool usable(const std::optional<QString>& field)
{
    return field.has_value() && !isCoordinateLike(*field);
}

// Absent or null gives none; a value that is not text fails the whole place.
bool readOptional(const QJsonObject& object, const QString& key, std::optional<QString>& out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    out = value.toString();
    return true;
}

} // namespace

bool isCoordinateLike(const QString& name)
{
    if (name.isEmpty()) {
        return false;
    }
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
    for (qsizetype start = 0; start < name.size();) {
        const qsizetype end = graphemes.toNextBoundary();
        const QStringView character = QStringView(name).sliced(start, end - start);
        if (!startsWithNumeral(character) && !(character.size() == 1 && coordinateMarks.contains(character[0]))) {
            return false;
        }
        start = end;
    }
    return true;
}

Place placeFromPlacemark(const Placemark& placemark)
{
    Place place{QStringLiteral("—"), {}, {}, {}};
    for (const std::optional<QString>* field :
         {&placemark.locality, &placemark.subAdministrativeArea, &placemark.administrativeArea, &placemark.name,
          &placemark.inlandWater, &placemark.ocean, &placemark.country}) {
        if (usable(*field)) {
            place.name = **field;
            break;
        }
    }
    place.region = placemark.administrativeArea ? placemark.administrativeArea : placemark.country;
    if (place.region == place.name) {
        place.region = placemark.country;
    }
    place.country = placemark.country;
    // The area is a part of the place: a quarter or district inside it. The
    // sub-administrative area is the county or district around the place,
    // which holds it and its neighbours, so it is never the area.
    place.area = placemark.subLocality;
    return place;
}

QByteArray encodePlaces(const QHash<QString, Place>& places)
{
    QJsonObject root;
    for (auto it = places.begin(); it != places.end(); ++it) {
        QJsonObject place{{nameKey, it->name}};
        for (const auto& [key, field] : {std::pair{regionKey, &it->region}, std::pair{countryKey, &it->country},
                                         std::pair{areaKey, &it->area}}) {
            if (*field) {
                place.insert(key, **field);
            }
        }
        if (!it->dataVersion.isEmpty()) {
            place.insert(dataKey, it->dataVersion);
        }
        root.insert(it.key(), place);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<QHash<QString, Place>> decodePlaces(const QByteArray& data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    QHash<QString, Place> places;
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QJsonObject object = it.value().toObject();
        const QJsonValue name = object.value(nameKey);
        Place place;
        std::optional<QString> dataVersion;
        if (!it.value().isObject() || !name.isString() || !readOptional(object, regionKey, place.region)
            || !readOptional(object, countryKey, place.country) || !readOptional(object, areaKey, place.area)
            || !readOptional(object, dataKey, dataVersion)) {
            return std::nullopt;
        }
        place.name = name.toString();
        place.dataVersion = dataVersion.value_or(QString());
        places.insert(it.key(), std::move(place));
    }
    return places;
}

} // namespace pivra
