#pragma once

#include "catalog/model/MediaKind.h"

#include <QString>
#include <optional>

namespace pivra {

// A row whose location has not been read yet.
struct LocationCandidate {
    QString id;
    QString path;
    MediaKind kind = MediaKind::image;
    std::optional<QString> metadataJSON;
};

// The outcome of reading one row's location. A half pair stores no location;
// no metadata text keeps the stored one.
struct LocationUpdate {
    QString id;
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::optional<QString> metadataJSON;
};

// A coordinate cell: a location rounded to two decimals, the unit the place
// namer labels. cellKey() of its two values is the cell's key.
struct PlaceCell {
    double latitude = 0;
    double longitude = 0;

    bool operator==(const PlaceCell&) const = default;
};

} // namespace pivra
