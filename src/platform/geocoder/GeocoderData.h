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
// populated places with their district and region names in a grid of 1°
// cells, and a raster of country outlines at 0.01°.
//
// A lookup takes the country whose outline holds the point, then the nearest
// place of that same country (a point in a border town is not named after the
// town across the border): within `localityRadiusKm` it gives the locality and
// districts; further out, within `regionRadiusKm`, only the region, so a
// point in the countryside still tells its province. A point outside every
// outline (a harbour the coarse coastline misses, a disputed strip) takes the
// nearest place of any country within localityRadiusKm, and that place's
// country. Read-only once
// opened; any thread.
class GeocoderData {
public:
    // How far a place may be to name a point: roughly a town and its outskirts.
    static constexpr double localityRadiusKm = 12.0;
    // How far a place may be to tell the point's region.
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
    struct City {
        std::int32_t latitude; // 1e-5 degrees
        std::int32_t longitude;
        std::uint32_t name;
        std::uint32_t subLocality;
        std::uint32_t admin2;
        std::uint32_t admin1;
        std::uint32_t country; // index + 1, 0 when unknown
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
    // The nearest place within regionRadiusKm, and its distance in km.
    std::pair<const City*, double> nearestCity(double latitude, double longitude, std::uint32_t country) const;
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
};

} // namespace pivra
