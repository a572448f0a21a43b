#pragma once

#include "platform/geocoder/GeocoderData.h"
#include "platform/geocoder/ReverseGeocoder.h"

#include <QString>

#include <memory>

namespace pivra {

// Reverse geocoding that never leaves the machine: lookups run on the pool
// against the place data file, which is mapped on the first lookup rather
// than at start-up. Without a readable data file every lookup fails (as
// "other", so nothing is retried).
class OfflineReverseGeocoder : public ReverseGeocoder {
public:
    // `dataPath` defaults to defaultDataPath().
    explicit OfflineReverseGeocoder(PlaceLanguage language, QString dataPath = {});
    ~OfflineReverseGeocoder() override;

    // Where the build puts the data file: resources/places.geo beside the
    // folder of the running program (the build folder holds the program, the
    // tests and the benchmarks one level down).
    static QString defaultDataPath();

    // The language of the user interface: Turkish for a Turkish locale,
    // English otherwise.
    static PlaceLanguage systemLanguage();

    void reverseGeocode(double latitude, double longitude, QObject* context, Completion done) override;
    std::chrono::milliseconds pauseBetweenLookups() const override;
    // The build's digest of the place data and of the code that reads it.
    QString dataVersion() const override;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace pivra
