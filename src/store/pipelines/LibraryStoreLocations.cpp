// Location reading: the latitude and longitude of every folder source's rows
// not checked yet, from their stored metadata or, for images indexed without
// it, from the file; then names for the located cells and a fresh map.
//
// A run owns the fields while locationTask_ holds its own handle. A stop
// clears them at once, and a new run may start while the stopped one still
// writes the batch in hand: the stopped run's end then leaves the new run's
// handle, record and flag alone.

#include "catalog/model/LocationRows.h"
#include "catalog/MediaCatalog.h"
#include "media/camera/CameraItemPaths.h"
#include "media/metadata/MediaMetadata.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/Pool.h"
#include "store/LibraryStore.h"
#include "store/places/PlaceNamer.h"

#include <QLocale>

#include <algorithm>

namespace pivra {

namespace {

// Rows read per batch; each batch is one range scan and one write.
constexpr int batchLimit = 400;

// Nothing when the image's file is missing: the row stays unchecked, so a run
// after its disk is back reads it.
std::optional<LocationUpdate> readLocation(const LocationCandidate& row)
{
    LocationUpdate update{.id = row.id};
    std::optional<QString> json = row.metadataJSON;
    const bool indexedWithout = row.kind == MediaKind::image && (!json || *json == u"{}");
    // A device item has no file to read.
    if (indexedWithout && !row.path.startsWith(cameraScheme)) {
        if (!pathExists(row.path)) {
            return std::nullopt;
        }
        if (std::optional<QString> read = MediaMetadata::imageMetadataJSON(row.path)) {
            json = read;
            update.metadataJSON = std::move(read);
        }
    }
    if (const std::optional<GeoLocation> location = MediaMetadata::location(json, row.kind)) {
        update.latitude = location->latitude;
        update.longitude = location->longitude;
    }
    return update;
}

std::vector<LocationUpdate> readBatch(const std::vector<LocationCandidate>& rows)
{
    std::vector<LocationUpdate> updates;
    for (const LocationCandidate& row : rows) {
        if (std::optional<LocationUpdate> update = readLocation(row)) {
            updates.push_back(std::move(*update));
        }
    }
    return updates;
}

} // namespace

void LibraryStore::startLocationReading()
{
    assertMainThread();
    if (!catalog_ || locationTask_.isValid()) {
        return;
    }
    // Offline sources too: their stored metadata is at hand.
    QList<QUuid> sourceIDs;
    for (const LibrarySource& source : std::as_const(sources_)) {
        if (source.kind == LibrarySource::Kind::folder) {
            sourceIDs.append(source.id);
        }
    }
    if (!sourceIDs.isEmpty()) {
        locationTask_ = startTask(this, returningMemory(readLocations(std::move(sourceIDs))));
    }
}

void LibraryStore::cancelLocationReading()
{
    assertMainThread();
    processes_.end(std::exchange(locationProcessID_, std::nullopt), PivraProcess::State::stopped);
    std::exchange(locationTask_, TaskHandle()).cancel();
    assign(isReadingLocations_, false, &LibraryStore::isReadingLocationsChanged);
}

Task<> LibraryStore::readLocations(QList<QUuid> sourceIDs)
{
    const TaskHandle self = co_await currentTask();
    std::optional<QUuid> processID;
    int checked = 0;
    int located = 0;
    for (const QUuid& sourceID : std::as_const(sourceIDs)) {
        std::optional<QString> afterID;
        while (locationTask_ == self) {
            std::vector<LocationCandidate> batch;
            try {
                batch = co_await catalog_->call(&MediaCatalog::locationBatch, sourceID, afterID, batchLimit);
            } catch (const std::exception&) {
                break; // the rest of this source waits for the next run
            }
            if (batch.empty()) {
                break;
            }
            afterID = batch.back().id;
            // Registered only once there is something to read, and never for
            // a batch that arrived after a stop.
            if (!processID && locationTask_ == self) {
                assign(isReadingLocations_, true, &LibraryStore::isReadingLocationsChanged);
                processID = processes_.begin(PivraProcess::Kind::locations, QStringLiteral("Photos and videos"));
                locationProcessID_ = processID;
            }
            // The files may lie on a slow or vanishing disk.
            const std::vector<LocationUpdate> updates =
                co_await runOnPool(PoolPriority::utility, &readBatch, std::move(batch));
            try {
                co_await catalog_->call(&MediaCatalog::setLocations, updates);
            } catch (const std::exception&) {
                // the rows stay unchecked for a later run
            }
            checked += static_cast<int>(updates.size());
            located += static_cast<int>(std::count_if(updates.cbegin(), updates.cend(),
                                                      [](const LocationUpdate& update) { return update.latitude; }));
            processes_.update(processID, {.completed = checked});
        }
    }

    // Even a stopped run asks: the namer serves each cell once, however often
    // it is asked.
    std::vector<PlaceCell> cells;
    try {
        cells = co_await catalog_->call(&MediaCatalog::placeCells);
    } catch (const std::exception&) {
        // no names asked for this time
    }
    if (services_.placeNamer != nullptr) {
        for (const PlaceCell& cell : cells) {
            services_.placeNamer->request(cell.latitude, cell.longitude);
        }
    }

    const bool current = locationTask_ == self;
    processes_.update(processID, {.detail = QLocale().toString(qlonglong(located)) + QStringLiteral(" with a location")});
    processes_.end(processID, current ? PivraProcess::State::finished : PivraProcess::State::stopped);
    if (current) {
        locationProcessID_ = std::nullopt;
        assign(isReadingLocations_, false, &LibraryStore::isReadingLocationsChanged);
        locationTask_ = TaskHandle();
    }
    if (showsMap_ && located > 0) {
        co_await reload();
    }
}

} // namespace pivra
