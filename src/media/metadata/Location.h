#pragma once

#include <cmath>
#include <optional>

namespace pivra {

// A position in degrees, north and east positive.
struct GeoLocation {
    double latitude = 0;
    double longitude = 0;

    bool operator==(const GeoLocation&) const = default;
};

// Every location that reaches the catalog passes this test: both values finite
// and in range (bounds included), and not the (0, 0) a blank GPS block gives.
inline std::optional<GeoLocation> validLocation(double latitude, double longitude)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) {
        return std::nullopt;
    }
    if (latitude < -90 || latitude > 90 || longitude < -180 || longitude > 180) {
        return std::nullopt;
    }
    if (latitude == 0 && longitude == 0) {
        return std::nullopt;
    }
    return GeoLocation{latitude, longitude};
}

} // namespace pivra
