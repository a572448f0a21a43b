#pragma once

#include "platform/geocoder/ReverseGeocoder.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>

namespace pivra {

// The language of the country names a lookup answers with. Place and region
// names exist only in the romanised forms the place data holds.
enum class PlaceLanguage { english, turkish };

// The offline place data, mapped from the file tools/geocoder-data builds:
// populated places with their population, kind, reach and district and region
// names in a grid of 1° cells, and a raster of country outlines at 0.01°.
//
// A lookup takes the country whose outline holds the point, then looks only
// at the places of that same country (a point in a border town is not named
// after the town across the border). Its locality is the place the point
// belongs to: of the places that are no section of a city, the one nearest in
// proportion to its reach, which grows with its people, so central Rome is
// Rome though a village or a quarter's point lies nearer, and a village 20 km
// out is itself. A place further than its reach still names a point within
// `localityRadiusKm`, so the countryside is named after the nearest village.
// Its subLocality is the nearest place within `areaRadiusKm` that is smaller
// than the locality (of a smaller reach) and lies within the
// locality's reach: a quarter of a city ("Mitte" in Berlin), or a district
// town inside a metropolis. With no
// locality, a place within `regionRadiusKm` still tells the region. A point
// outside every outline (a harbour the coarse coastline misses, a disputed
// strip) takes the places of every country, and the locality's country.
// Read-only once opened; any thread.
class GeocoderData {
public:
    // How far any place may name a point, however small its reach: roughly
    // a village and the fields around it.
    static constexpr double localityRadiusKm = 12.0;
    // How far a smaller place may name the part of the locality a point lies in.
    static constexpr double areaRadiusKm = 3.0;
    // How far a place may be to tell the point's region; beyond every reach.
    static constexpr double regionRadiusKm = 50.0;

    // Maps and checks the file. None when it is missing, or is not a place
    // data file of this version, or any index in it points outside the file.
    static std::unique_ptr<GeocoderData> open(const QString& path);

    // The placemark of a point: locality, subLocality, subAdministrativeArea,
    // administrativeArea and country where known. Longitudes wrap; a point
    // off the globe (a latitude beyond a pole, NaN) gets an empty placemark. A point at sea, far from
    // every place, gives a placemark with no field at all.
    Placemark lookup(double latitude, double longitude, PlaceLanguage language) const;

    qint64 fileSize() const { return file_.size(); }

private:
    // What a place is, as the data file's converter tells it.
    enum class Kind : std::uint8_t { populated, seat, capital, section };
    struct City {
        std::int32_t latitude; // 1e-5 degrees
        std::int32_t longitude;
        std::uint32_t name;
        std::uint32_t district; // its admin2 and admin1 names
        std::uint16_t country;  // index + 1, 0 when unknown
        Kind kind;
        std::uint8_t reach; // quarters of a km, growing with its people

        double reachKm() const { return reach / 4.0; }
    };
    static_assert(sizeof(City) == 20);
    struct District {
        std::uint32_t admin2;
        std::uint32_t admin1;
    };
    struct Country {
        std::uint32_t english;
        std::uint32_t turkish;
        std::uint32_t code;
    };
    struct Run {
        std::uint16_t firstColumn;
        std::uint16_t country; // index + 1, 0 for no country
    };

    explicit GeocoderData(const QString& path) : file_(path) {}
    bool map();
    bool valid() const;

    std::uint32_t countryAt(double latitude, double longitude) const;
    // The places of `country` (of every country when 0) within `radiusKm` of
    // the point, with their distances in km, visited one by one.
    template <typename Visit>
    void forEachNearby(double latitude, double longitude, std::uint32_t country, double radiusKm, Visit&& visit) const;
    std::optional<QString> text(std::uint32_t id) const;

    QFile file_;
    std::uint32_t rasterSteps_ = 0;
    std::span<const std::uint32_t> stringOffsets_;
    std::span<const char> stringBytes_;
    std::span<const Country> countries_;
    std::span<const std::uint32_t> cityCells_;
    std::span<const City> cities_;
    std::span<const std::uint32_t> rasterRows_;
    std::span<const Run> runs_;
    std::span<const District> districts_;
};

} // namespace pivra
