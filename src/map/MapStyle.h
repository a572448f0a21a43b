#pragma once

#include "map/MapGeometry.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

namespace pivra {

// The stored choice of what the map row shows ("pivra.map.style").
enum class MapStyle { map, satellite, grid };

QString rawValue(MapStyle style);
// None for any other text.
std::optional<MapStyle> mapStyleFrom(const QString& raw);

// The photos of a pin of several, handed out when it is clicked.
struct MapSelection {
    QSet<QString> ids;
    double latitude = 0; // the pin's place: its representative photo's
    double longitude = 0;
    double span = 0; // metres: the longer side of the box around the photos

    bool operator==(const MapSelection&) const = default;
};

// A request to show an area, applied once per id.
struct MapFocus {
    QUuid id;
    MapRect rect;

    bool operator==(const MapFocus& other) const { return id == other.id; }
};

} // namespace pivra
