#pragma once

#include "platform/geocoder/ReverseGeocoder.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace pivra {

// The name of one coordinate cell.
struct Place {
    QString name; // never empty: "—" when nothing better was found
    std::optional<QString> region;
    std::optional<QString> country;
    std::optional<QString> area; // a quarter or district inside the place, never a county around it
    // The geocoder data the name was found in (ReverseGeocoder::dataVersion);
    // empty when unknown.
    QString dataVersion;

    friend bool operator==(const Place&, const Place&) = default;
};

// Whether a name is only a coordinate ("41.01, 28.98", "36°59′N"): not empty,
// and every character a numeral or one of ".,-+ °′″NSEW".
bool isCoordinateLike(const QString& name);

// The place a placemark names.
Place placeFromPlacemark(const Placemark& placemark);

// The stored form of the places and back: the object keyed by cell key, each
// place an object with "name" and, where known, "region", "country", "area"
// and "data" (its data version); decoding answers none when the data is not
// such an object.
QByteArray encodePlaces(const QHash<QString, Place>& places);
std::optional<QHash<QString, Place>> decodePlaces(const QByteArray& data);

} // namespace pivra
