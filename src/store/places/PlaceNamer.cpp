#include "store/places/PlaceNamer.h"

#include "catalog/model/CellKey.h"
#include "catalog/search/SearchFold.h"
#include "platform/runtime/MainThread.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

namespace pivra {

namespace {

// A folded phrase this short would match half the cache.
constexpr qsizetype shortestPhrase = 2;

// Place names are compared folded the search's way and with hyphens read as
// spaces, so "Saint Martin de Ré" typed with spaces is the town GeoNames
// writes "Saint-Martin-de-Ré".
QString placeFold(const QString& text)
{
    return searchFold(text).replace(u'-', u' ');
}

void pauseOnTimer(std::chrono::milliseconds pause, QObject* context, std::function<void()> then)
{
    QTimer::singleShot(pause, Qt::PreciseTimer, context, std::move(then));
}

} // namespace

PlaceNamer::PlaceNamer(std::unique_ptr<ReverseGeocoder> geocoder, Pause pause, QObject* parent,
                       const QString& cacheFile)
    : QObject(parent)
    , geocoder_(std::move(geocoder))
    , pause_(pause ? std::move(pause) : Pause(pauseOnTimer))
    , cache_(cacheFile)
    , places_(cache_.load())
{
    assertMainThread();
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(saveInterval);
    connect(&saveTimer_, &QTimer::timeout, this, &PlaceNamer::save);
    // The destructor comes late at quit, with the application's children, so
    // the last names start on their way as the application ends.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &PlaceNamer::flush);
    }
}

PlaceNamer::~PlaceNamer()
{
    flush();
}

std::optional<Place> PlaceNamer::place(double latitude, double longitude) const
{
    const auto it = places_.constFind(cellKey(latitude, longitude));
    return it == places_.constEnd() ? std::nullopt : std::optional(*it);
}

void PlaceNamer::request(double latitude, double longitude)
{
    assertMainThread();
    const QString key = cellKey(latitude, longitude);
    // A place without a country, or named only by its coordinates, may name
    // itself better another time, and one named from other data may be named
    // otherwise now: it is looked up again, and shows its old name meanwhile.
    const auto known = places_.constFind(key);
    if (known != places_.constEnd() && known->country && !isCoordinateLike(known->name)
        && known->dataVersion == geocoder_->dataVersion()) {
        return;
    }
    if (queued_.contains(key)) {
        return;
    }
    queued_.insert(key);
    // The raw coordinates, not the cell's corner: the name is of the photo's place.
    queue_.push_back({key, latitude, longitude});
    runNext();
}

void PlaceNamer::runNext()
{
    if (running_ || queue_.empty()) {
        return;
    }
    Pending lookup = std::move(queue_.back());
    queue_.pop_back();
    running_ = true;
    geocoder_->reverseGeocode(lookup.latitude, lookup.longitude, this,
                              [this, lookup](GeocodeResult result) { finish(lookup, result); });
}

void PlaceNamer::finish(const Pending& lookup, const GeocodeResult& result)
{
    if (!result.placemarks.empty()) {
        Place place = placeFromPlacemark(result.placemarks.front());
        place.dataVersion = geocoder_->dataVersion();
        store(lookup.key, std::move(place));
    }
    queued_.remove(lookup.key);
    std::chrono::milliseconds pause = geocoder_->pauseBetweenLookups();
    if (result.failure == GeocodeFailure::network) {
        // At the front, so with newest-first service it waits for everything else.
        queue_.insert(queue_.begin(), lookup);
        queued_.insert(lookup.key);
        pause = networkBackOff;
    }
    pause_(pause, this, [this] {
        running_ = false;
        runNext();
    });
}

void PlaceNamer::store(const QString& key, Place place)
{
    places_.insert(key, std::move(place));
    foldedIndex_.reset();
    dirty_ = true;
    if (!saveTimer_.isActive()) {
        saveTimer_.start();
    }
    Q_EMIT placesChanged();
}

void PlaceNamer::flush()
{
    saveTimer_.stop();
    save();
}

void PlaceNamer::save()
{
    if (!dirty_) {
        return;
    }
    cache_.save(places_);
    dirty_ = false;
}

std::optional<QStringList> PlaceNamer::cells(const QString& matching) const
{
    const QString phrase = placeFold(matching);
    if (phrase.size() < shortestPhrase) {
        return std::nullopt;
    }
    if (!foldedIndex_) {
        QHash<QString, QStringList> index;
        for (auto it = places_.begin(); it != places_.end(); ++it) {
            QSet<QString> texts{placeFold(it->name)};
            for (const std::optional<QString>* field : {&it->region, &it->country, &it->area}) {
                if (*field) {
                    texts.insert(placeFold(**field));
                }
            }
            for (const QString& text : texts) {
                index[text].append(it.key());
            }
        }
        foldedIndex_ = std::move(index);
    }
    const auto found = foldedIndex_->constFind(phrase);
    if (found == foldedIndex_->constEnd()) {
        return std::nullopt;
    }
    QStringList keys = *found;
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace pivra
