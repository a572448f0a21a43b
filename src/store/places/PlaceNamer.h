#pragma once

#include "platform/geocoder/ReverseGeocoder.h"
#include "store/places/Place.h"
#include "store/places/PlaceCache.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pivra {

// Names the cells of 0.01° in which photos were taken, one reverse-geocoding
// lookup at a time, and remembers the names across runs.
//
// Requests are served newest first, so a place that has just come on screen
// is named before the backlog the library queued for its whole catalog. After
// each lookup the namer waits the backend's pause; after a network failure it
// waits 30 s and puts the cell back at the far end of the queue. A cell is
// asked for once while it waits or is in flight, and never again once it has
// a country and a real name found in the geocoder's present data. Places are
// kept in a PlaceCache, written at most every 2 s and when the namer goes.
// GUI thread only.
class PlaceNamer : public QObject {
    Q_OBJECT

public:
    // Runs `then` after `pause` on the GUI thread unless `context` is gone
    // first. Tests pass one that holds the callbacks for the test to fire.
    using Pause = std::function<void(std::chrono::milliseconds pause, QObject* context, std::function<void()> then)>;

    static constexpr std::chrono::milliseconds networkBackOff{30000};
    static constexpr std::chrono::milliseconds saveInterval{2000};

    // Reads the places cached in `cacheFile`. `pause` defaults to a precise
    // single-shot timer.
    explicit PlaceNamer(std::unique_ptr<ReverseGeocoder> geocoder, Pause pause = {}, QObject* parent = nullptr,
                        const QString& cacheFile = PlaceCache::defaultFile());
    ~PlaceNamer() override; // writes places not saved yet and waits for the write

    const QHash<QString, Place>& places() const { return places_; }
    std::optional<Place> place(double latitude, double longitude) const;

    // Asks for the location's cell to be named; the name arrives later
    // through placesChanged().
    void request(double latitude, double longitude);

    // The keys of the cached cells whose name, region, country or area is the
    // phrase once both are folded the search's way and their hyphens read as
    // spaces, sorted; none when the folded phrase is shorter than two
    // characters or no place matches. Never starts a lookup.
    std::optional<QStringList> cells(const QString& matching) const;

    // Writes places not saved yet now rather than at the next interval.
    void flush();

Q_SIGNALS:
    void placesChanged();

private:
    struct Pending {
        QString key;
        double latitude;
        double longitude;
    };

    void runNext();
    void finish(const Pending& lookup, const GeocodeResult& result);
    void store(const QString& key, Place place);
    void save();

    std::unique_ptr<ReverseGeocoder> geocoder_;
    Pause pause_;
    PlaceCache cache_;
    QHash<QString, Place> places_;
    std::vector<Pending> queue_; // served from the back
    QSet<QString> queued_;       // waiting or in flight
    bool running_ = false;
    bool dirty_ = false;
    QTimer saveTimer_;
    // Folded name, region, country and area to cell keys; rebuilt on the
    // first search after places change, since the search asks many times per
    // typed text.
    mutable std::optional<QHash<QString, QStringList>> foldedIndex_;
};

} // namespace pivra
