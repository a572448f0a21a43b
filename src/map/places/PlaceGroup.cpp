#include "map/places/PlaceGroup.h"

#include <cmath>
#include <numbers>

namespace pivra {

namespace {
constexpr double earthRadius = 6'371'008.8; // metres, the mean radius

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180;
}
} // namespace

double groundDistance(double latitude1, double longitude1, double latitude2, double longitude2)
{
    const double dLatitude = radians(latitude2 - latitude1);
    const double dLongitude = radians(longitude2 - longitude1);
    const double a = std::pow(std::sin(dLatitude / 2), 2) + std::cos(radians(latitude1)) * std::cos(radians(latitude2)) *
                                                                std::pow(std::sin(dLongitude / 2), 2);
    return 2 * earthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

std::vector<PlaceGroup> PlaceGroup::make(const std::vector<MapPhoto>& photos, double radius, double gap)
{
    std::vector<PlaceGroup> groups;
    for (int index = 0; index < int(photos.size()); ++index) {
        const MapPhoto& photo = photos[std::size_t(index)];
        const Timestamp date = photo.item().captureDate();
        if (!groups.empty()) {
            PlaceGroup& last = groups.back();
            // Both tests are strict: exactly at the radius or the gap still joins.
            const bool near =
                groundDistance(last.latitude, last.longitude, photo.latitude(), photo.longitude()) <= radius;
            if (near && last.oldest - date <= gap) {
                ++last.count;
                last.oldest = std::min(last.oldest, date);
                continue;
            }
        }
        groups.push_back({photo.id(), index, 1, photo.latitude(), photo.longitude(), date, date});
    }
    return groups;
}

MapFocus PlaceGroup::focus(const std::vector<MapPhoto>& photos) const
{
    MapRect rect;
    for (int index = first; index < first + count; ++index) {
        const MapPhoto& photo = photos[std::size_t(index)];
        rect = rect.united(MapRect::at(mapPointFor(photo.latitude(), photo.longitude())));
    }
    return {QUuid::createUuid(), rect};
}

} // namespace pivra
