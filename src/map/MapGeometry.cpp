#include "map/MapGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace pivra {

namespace {

// The WGS 84 equatorial radius, the sphere the projection is drawn on.
constexpr double earthRadiusMeters = 6378137.0;

} // namespace

MapRect MapRect::united(const MapRect& other) const
{
    if (isNull()) {
        return other;
    }
    if (other.isNull()) {
        return *this;
    }
    const double left = std::min(x, other.x);
    const double top = std::min(y, other.y);
    return {left, top, std::max(maxX(), other.maxX()) - left, std::max(maxY(), other.maxY()) - top};
}

MapPoint mapPointFor(double latitude, double longitude)
{
    const double phi = std::clamp(latitude, -mapMaxLatitude, mapMaxLatitude) * std::numbers::pi / 180;
    return {(longitude + 180) / 360 * mapWorldSize,
            (1 - std::asinh(std::tan(phi)) / std::numbers::pi) / 2 * mapWorldSize};
}

MapCoordinate coordinateFor(MapPoint point)
{
    const double longitude = point.x / mapWorldSize * 360 - 180;
    const double latitude = std::atan(std::sinh(std::numbers::pi * (1 - 2 * point.y / mapWorldSize)))
                            * 180 / std::numbers::pi;
    return {latitude, longitude};
}

double mapPointsPerMeter(double latitude)
{
    const double circumference = 2 * std::numbers::pi * earthRadiusMeters;
    return mapWorldSize / (circumference * std::cos(latitude * std::numbers::pi / 180));
}

MapRect withMinimumSide(const MapRect& rect, double side)
{
    MapRect grown = rect;
    if (grown.width < side) {
        grown = grown.grown((side - grown.width) / 2, 0);
    }
    if (grown.height < side) {
        grown = grown.grown(0, (side - grown.height) / 2);
    }
    return grown;
}

} // namespace pivra
