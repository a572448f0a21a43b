#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace pivra {

// What a reverse geocoder tells of one location. Every field may be absent;
// which ones a backend fills is its own business.
struct Placemark {
    std::optional<QString> locality;              // the town or city
    std::optional<QString> subAdministrativeArea; // the district or county around it
    std::optional<QString> administrativeArea;    // the province, state or region
    std::optional<QString> name;
    std::optional<QString> inlandWater;
    std::optional<QString> ocean;
    std::optional<QString> country;
    std::optional<QString> subLocality; // a quarter of the town

    friend bool operator==(const Placemark&, const Placemark&) = default;
};

// Why a lookup gave no placemark: a network failure is worth trying again
// later; anything else is not.
enum class GeocodeFailure { network, other };

// The answer to one lookup: placemarks, best first, or a failure.
struct GeocodeResult {
    std::vector<Placemark> placemarks;
    std::optional<GeocodeFailure> failure;
};

// Turns a location into placemarks. The GUI thread asks; the backend may work
// wherever it likes.
class ReverseGeocoder {
public:
    using Completion = std::function<void(GeocodeResult)>;

    virtual ~ReverseGeocoder() = default;

    // Looks up one location. `done` runs exactly once, never inside this
    // call, on the GUI thread, and not at all once `context` is gone.
    virtual void reverseGeocode(double latitude, double longitude, QObject* context, Completion done) = 0;

    // How long a client waits after one lookup before it starts the next: a
    // courtesy to a shared service, next to nothing for local data.
    virtual std::chrono::milliseconds pauseBetweenLookups() const = 0;

    // What the answers are made from, as a text that changes whenever they
    // may: a name found from other data is looked up again. Empty for a
    // backend whose answers do not depend on a version.
    virtual QString dataVersion() const { return {}; }
};

} // namespace pivra
