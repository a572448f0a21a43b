#pragma once

#include "map/MapGeometry.h"

#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace pivra {

// The offline world the map always has: land outlines and country borders at
// three scales of detail, and the names of countries and cities, read from
// the file tools/map-data builds (resources/world.map beside the program).
// Coordinates are map points. Read-only once loaded; any thread.
class BaseMapData {
public:
    // An outline or line with the box around it, so drawing can skip what
    // lies outside a tile.
    struct Shape {
        QPolygonF points;
        QRectF bounds;
    };
    struct Level {
        std::vector<Shape> land;    // closed rings; holes are rings of their own
        std::vector<Shape> borders; // open lines between countries
    };
    struct Label {
        MapPoint point;
        QString name;
        double minimumZoom = 0;
        quint32 population = 0; // a city's, where GeoNames knows it
    };
    // Coarse (1:110m) to fine (1:10m).
    static constexpr int levelCount = 3;

    // None when the file is missing, of another kind or version, or cut short.
    static std::unique_ptr<const BaseMapData> load(const QString& path);
    // The program's data, loaded by whichever thread asks first (a tile
    // worker, never the GUI thread), and again by the first to ask after
    // everyone has let go of it: a map the user has left holds none of its
    // 30 MB. None when it cannot be read.
    static std::shared_ptr<const BaseMapData> shared();
    static QString defaultPath();

    // The scale of detail that suits a tile zoom.
    const Level& levelFor(int zoom) const;
    const std::array<Level, levelCount>& levels() const { return levels_; }
    // Largest countries first.
    const std::vector<Label>& countries() const { return countries_; }
    // Lowest minimum zoom first, and within one zoom capitals first, then the
    // most people first.
    const std::vector<Label>& cities() const { return cities_; }

private:
    std::array<Level, levelCount> levels_;
    std::vector<Label> countries_;
    std::vector<Label> cities_;
};

} // namespace pivra
