#pragma once

#include <QPointF>
#include <QRectF>

#include <limits>

namespace pivra {

// Web Mercator over a square world of 2^28 map points a side: x grows east
// from 180° W, y grows south from the northern edge at about 85.05° N. A
// point's size on screen depends only on the zoom, so distances and cell
// sizes can be worked out in map points and compared directly.
inline constexpr double mapWorldSize = 268435456.0;
// The latitude where the square world ends, north and south.
inline constexpr double mapMaxLatitude = 85.0511287798066;

struct MapPoint {
    double x = 0;
    double y = 0;

    bool operator==(const MapPoint&) const = default;
};

struct MapCoordinate {
    double latitude = 0;
    double longitude = 0;
};

// A rectangle of map points. The null rectangle holds nothing and is what a
// union starts from; a single point is a rectangle of size 0 by 0.
struct MapRect {
    double x = std::numeric_limits<double>::infinity();
    double y = std::numeric_limits<double>::infinity();
    double width = 0;
    double height = 0;

    static MapRect at(MapPoint point) { return {point.x, point.y, 0, 0}; }
    bool isNull() const { return x == std::numeric_limits<double>::infinity(); }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    MapPoint center() const { return {x + width / 2, y + height / 2}; }
    bool contains(MapPoint point) const
    {
        return point.x >= x && point.x <= maxX() && point.y >= y && point.y <= maxY();
    }
    MapRect united(const MapRect& other) const;
    // Grown by dx on the left and right and dy at the top and bottom (shrunk
    // when negative).
    MapRect grown(double dx, double dy) const { return {x - dx, y - dy, width + 2 * dx, height + 2 * dy}; }

    bool operator==(const MapRect&) const = default;
};

MapPoint mapPointFor(double latitude, double longitude);
MapCoordinate coordinateFor(MapPoint point);
// How many map points one metre spans along the ground at a latitude.
double mapPointsPerMeter(double latitude);

// The rectangle with each side shorter than `side` grown to `side` about its
// centre; longer sides stay.
MapRect withMinimumSide(const MapRect& rect, double side);

} // namespace pivra
