#include "platform/geocoder/GeocoderData.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pivra {

namespace {

constexpr char magic[8] = {'P', 'I', 'V', 'R', 'A', 'G', 'E', 'O'};
constexpr std::uint32_t formatVersion = 2;
constexpr std::size_t headerSize = 80;
constexpr std::uint32_t cityCellCount = 180 * 360;
constexpr double kmPerDegree = 111.2;
constexpr double fixedPointScale = 1e5; // the file's coordinates are in 1e-5 degrees

std::uint32_t readU32(const uchar* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The distance between two points, on a sphere flattened about their
// middle: exact enough within the few dozen km a lookup looks at.
double distanceKm(double latitudeA, double longitudeA, double latitudeB, double longitudeB)
{
    double dLon = std::fabs(longitudeA - longitudeB);
    dLon = std::min(dLon, 360.0 - dLon) * std::cos((latitudeA + latitudeB) / 2 * M_PI / 180.0);
    return std::sqrt((latitudeA - latitudeB) * (latitudeA - latitudeB) + dLon * dLon) * kmPerDegree;
}

double latitudeOf(const auto& city)
{
    return city.latitude / fixedPointScale;
}

double longitudeOf(const auto& city)
{
    return city.longitude / fixedPointScale;
}

// Steps to an index monotonically non-decreasing and ending at `end`.
bool isIndex(std::span<const std::uint32_t> starts, std::uint32_t end)
{
    return !starts.empty() && starts.front() == 0 && starts.back() == end
           && std::is_sorted(starts.begin(), starts.end());
}

} // namespace

std::unique_ptr<GeocoderData> GeocoderData::open(const QString& path)
{
    std::unique_ptr<GeocoderData> data(new GeocoderData(path));
    if (!data->map() || !data->valid()) {
        return nullptr;
    }
    return data;
}

bool GeocoderData::map()
{
    if (!file_.open(QIODevice::ReadOnly) || file_.size() < qint64(headerSize)) {
        return false;
    }
    const uchar* base = file_.map(0, file_.size());
    if (base == nullptr || std::memcmp(base, magic, sizeof magic) != 0 || readU32(base + 8) != formatVersion) {
        return false;
    }
    rasterSteps_ = readU32(base + 12);
    const auto size = std::uint64_t(file_.size());
    // Each section: offset and count at 16 + 8 * i; its bytes must lie in the file.
    auto section = [&]<typename T>(int i, std::span<const T>& out, std::uint64_t extra) {
        const std::uint64_t offset = readU32(base + 16 + 8 * i);
        const std::uint64_t count = readU32(base + 20 + 8 * i) + extra;
        if (offset % alignof(T) != 0 || offset + count * sizeof(T) > size) {
            return false;
        }
        out = {reinterpret_cast<const T*>(base + offset), std::size_t(count)};
        return true;
    };
    return section(0, stringOffsets_, 1) && section(1, stringBytes_, 0) && section(2, countries_, 0)
           && section(3, cityCells_, 0) && section(4, cities_, 0) && section(5, rasterRows_, 0)
           && section(6, runs_, 0) && section(7, districts_, 0);
}

bool GeocoderData::valid() const
{
    const auto strings = std::uint32_t(stringOffsets_.size() - 1);
    const auto countries = std::uint32_t(countries_.size());
    if (rasterSteps_ == 0 || std::uint64_t(rasterSteps_) * 360 > 65536 || !isIndex(stringOffsets_, std::uint32_t(stringBytes_.size()))
        || cityCells_.size() != cityCellCount + 1 || !isIndex(cityCells_, std::uint32_t(cities_.size()))
        || rasterRows_.size() != std::size_t(rasterSteps_) * 180 + 1
        || !isIndex(rasterRows_, std::uint32_t(runs_.size()))) {
        return false;
    }
    const bool countriesValid = std::ranges::all_of(countries_, [&](const Country& c) {
        return c.english < strings && c.turkish < strings && c.code < strings;
    });
    const bool citiesValid = std::ranges::all_of(cities_, [&](const City& c) {
        return c.name < strings && c.district < districts_.size() && c.country <= countries
               && c.kind <= Kind::section && c.reach > 0;
    });
    const bool districtsValid = std::ranges::all_of(districts_, [&](const District& d) {
        return d.admin2 < strings && d.admin1 < strings;
    });
    const bool runsValid = std::ranges::all_of(runs_, [&](const Run& r) { return r.country <= countries; });
    return countriesValid && citiesValid && districtsValid && runsValid;
}

Placemark GeocoderData::lookup(double latitude, double longitude, PlaceLanguage language) const
{
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude)) {
        return {}; // no place on earth
    }
    longitude = std::remainder(longitude, 360.0);
    std::uint32_t country = countryAt(latitude, longitude);

    const City* nearest = nullptr;
    double nearestKm = regionRadiusKm;
    const City* locality = nullptr;
    double localityShare = HUGE_VAL; // distance over reach
    forEachNearby(latitude, longitude, country, regionRadiusKm, [&](const City& city, double km) {
        if (km < nearestKm) {
            nearest = &city;
            nearestKm = km;
        }
        if (city.kind != Kind::section && km <= std::max(city.reachKm(), localityRadiusKm)
            && km < localityShare * city.reachKm()) {
            locality = &city;
            localityShare = km / city.reachKm();
        }
    });

    Placemark placemark;
    // Off every outline only a place that names the point counts: a boat far
    // out at sea is in no one's region.
    const City* regional = locality != nullptr ? locality : nearest;
    if (regional != nullptr && (country != 0 || locality != nullptr)) {
        placemark.administrativeArea = text(districts_[regional->district].admin1);
        country = country != 0 ? country : regional->country;
    }
    if (locality != nullptr) {
        placemark.locality = text(locality->name);
        placemark.subAdministrativeArea = text(districts_[locality->district].admin2);
        const City* area = nullptr;
        double areaKm = HUGE_VAL;
        const double localityLatitude = latitudeOf(*locality);
        const double localityLongitude = longitudeOf(*locality);
        forEachNearby(latitude, longitude, country, areaRadiusKm, [&](const City& city, double km) {
            if (km < areaKm && city.reach < locality->reach && city.name != locality->name
                && distanceKm(latitudeOf(city), longitudeOf(city), localityLatitude, localityLongitude)
                       <= locality->reachKm()) {
                area = &city;
                areaKm = km;
            }
        });
        if (area != nullptr) {
            placemark.subLocality = text(area->name);
        }
    }
    if (country != 0) {
        const Country& names = countries_[country - 1];
        placemark.country = text(language == PlaceLanguage::turkish ? names.turkish : names.english);
    }
    return placemark;
}

std::uint32_t GeocoderData::countryAt(double latitude, double longitude) const
{
    const auto rows = std::int64_t(rasterSteps_) * 180;
    const auto columns = std::int64_t(rasterSteps_) * 360;
    const auto row = std::clamp(std::int64_t(std::floor((90.0 - latitude) * rasterSteps_)), std::int64_t(0), rows - 1);
    auto column = std::int64_t(std::floor((longitude + 180.0) * rasterSteps_)) % columns;
    column += column < 0 ? columns : 0;
    const auto first = runs_.begin() + rasterRows_[row];
    const auto end = runs_.begin() + rasterRows_[row + 1];
    // The run that holds the column is the last one starting at or before it.
    const auto after = std::upper_bound(first, end, column, [](std::int64_t c, const Run& run) {
        return c < run.firstColumn;
    });
    return after == first ? 0 : std::prev(after)->country;
}

template <typename Visit>
void GeocoderData::forEachNearby(double latitude, double longitude, std::uint32_t country, double radiusKm,
                                 Visit&& visit) const
{
    const double radius = radiusKm / kmPerDegree; // in degrees of latitude
    // Longitudes shrink by the cosine of the point's own latitude: within the
    // few dozen km looked at, that of each place would differ by little.
    const double cosine = std::max(std::cos(latitude * M_PI / 180.0), 1e-6);
    const double lonRadius = std::min(radius / cosine, 180.0);
    const auto minLatitude = std::int32_t(std::floor((latitude - radius) * fixedPointScale));
    const auto maxLatitude = std::int32_t(std::ceil((latitude + radius) * fixedPointScale));
    const int firstRow = std::max(int(std::floor(latitude - radius)) + 90, 0);
    const int lastRow = std::min(int(std::floor(latitude + radius)) + 90, 179);
    const int firstColumn = int(std::floor(longitude - lonRadius)) + 180;
    const int lastColumn = std::min(int(std::floor(longitude + lonRadius)) + 180, firstColumn + 359);

    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const std::uint32_t cell = std::uint32_t(row) * 360 + std::uint32_t((column % 360 + 360) % 360);
            const City* begin = cities_.data() + cityCells_[cell];
            const City* end = cities_.data() + cityCells_[cell + 1];
            // A cell's places are sorted by latitude: only a band of them can be near.
            const City* city = std::lower_bound(begin, end, minLatitude, [](const City& c, std::int32_t lat) {
                return c.latitude < lat;
            });
            for (; city != end && city->latitude <= maxLatitude; ++city) {
                if (country != 0 && city->country != country) {
                    continue;
                }
                double dLon = std::fabs(longitudeOf(*city) - longitude);
                dLon = std::min(dLon, 360.0 - dLon) * cosine;
                const double dLat = latitudeOf(*city) - latitude;
                const double squared = dLat * dLat + dLon * dLon;
                if (squared <= radius * radius) {
                    visit(*city, std::sqrt(squared) * kmPerDegree);
                }
            }
        }
    }
}

std::optional<QString> GeocoderData::text(std::uint32_t id) const
{
    if (id == 0) {
        return std::nullopt;
    }
    const std::uint32_t begin = stringOffsets_[id];
    return QString::fromUtf8(stringBytes_.data() + begin, qsizetype(stringOffsets_[id + 1] - begin));
}

} // namespace pivra
