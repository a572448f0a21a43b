// Thumbnail preparation: the missing grid thumbnails of the online sources,
// rendered a few at a time and recorded in the catalog.
//
// A run walks its sources one after another and reads each in keyset batches
// of the items still without a thumbnail. A batch is rendered by a group of
// at most groupWidth children; each result is written back before the next
// is taken, and a new child replaces each one handled, so the preparation
// queue never holds more than a run can use and a Stop leaves at most
// groupWidth renderings behind.
//
// The generation number is the only guard between overlapping runs: a run
// whose generation has moved (a newer start or a cancel) drops every result
// still arriving and touches none of the store's fields.

#include "catalog/MediaCatalog.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/Cancelled.h"
#include "platform/runtime/TaskGroup.h"
#include "store/LibraryStore.h"
#include "store/sources/SourcesLog.h"

#include <algorithm>

namespace pivra {

namespace {

// Items read per batch; the catalog's index serves each as one range scan.
constexpr int batchLimit = 180;
// Renderings of one run in flight at once.
constexpr int groupWidth = 3;
// Progress reaches the published counters and the Processes tab at most this
// often per source while results stream in.
constexpr std::chrono::milliseconds publicationInterval(200);

struct Rendered {
    QString id;
    std::optional<QString> key;
    bool refused = false; // failed until the file changes
};

Task<Rendered> renderThumbnail(ThumbnailStore* thumbnails, MediaItem item)
{
    Rendered rendered;
    rendered.key = co_await thumbnails->prepare(item);
    rendered.id = item.id();
    rendered.refused = !rendered.key && thumbnails->takeRefusal(item);
    co_return rendered;
}

} // namespace

// What a run captured at its start, and its counters. The per-source ones
// belong to the source whose turn it is.
struct LibraryStore::ThumbnailRun {
    bool onlyIncomplete = false;
    QList<LibrarySource> candidates;
    QUuid processID;
    int generation = 0;

    int completed = 0;
    int failed = 0;

    QUuid sourceID;
    int ready = 0;
    int pending = 0;
    int sourceFailed = 0;
    std::chrono::steady_clock::time_point lastPublished;
};

QList<LibrarySource> LibraryStore::thumbnailCandidates(bool onlyIncomplete) const
{
    QList<LibrarySource> candidates;
    for (const LibrarySource& source : sources_) {
        // Every item of a locked device would fail to render and stay marked
        // failed until the user asked again; it waits until it is unlocked.
        if (!source.isOnline || lockedCameraSourceIDs_.contains(source.id)) {
            continue;
        }
        const auto status = thumbnailStatuses_.constFind(source.id);
        if (!onlyIncomplete || (status != thumbnailStatuses_.cend() && status->pending >= 1)) {
            candidates.append(source);
        }
    }
    return candidates;
}

void LibraryStore::startThumbnailPreparation(bool onlyIncomplete)
{
    assertMainThread();
    if (!catalog_ || services_.thumbnails == nullptr) {
        return;
    }
    QList<LibrarySource> candidates = thumbnailCandidates(onlyIncomplete);
    if (candidates.isEmpty()) {
        if (!onlyIncomplete) {
            setMessage(QStringLiteral("All connected sources are ready, or no source is connected."));
        }
        startVideoPreviewPreparation();
        return;
    }
    thumbnailTask_.cancel();
    const int generation = ++thumbnailGeneration_;
    assign(isPreparingThumbnails_, true, &LibraryStore::isPreparingThumbnailsChanged);

    int ready = 0;
    int total = 0;
    QStringList names;
    for (const LibrarySource& source : candidates) {
        const ThumbnailStatus status = thumbnailStatuses_.value(source.id);
        ready += status.ready;
        total += status.total;
        names.append(source.name);
    }
    assign(thumbnailCompleted_, ready, &LibraryStore::thumbnailCompletedChanged);
    assign(thumbnailFailed_, 0, &LibraryStore::thumbnailFailedChanged);
    assign(thumbnailTotal_, total, &LibraryStore::thumbnailTotalChanged);
    assign(thumbnailSourceName_, candidates.size() == 1 ? candidates.front().name : QStringLiteral("All sources"),
           &LibraryStore::thumbnailSourceNameChanged);

    processes_.end(thumbnailProcessID_, PivraProcess::State::stopped);
    const QUuid processID = processes_.begin(PivraProcess::Kind::thumbnails, sourceSummary(names));
    thumbnailProcessID_ = processID;

    auto run = std::make_shared<ThumbnailRun>();
    run->onlyIncomplete = onlyIncomplete;
    run->candidates = std::move(candidates);
    run->processID = processID;
    run->generation = generation;
    thumbnailTask_ = startTask(this, returningMemory(prepareThumbnails(std::move(run))));
}

void LibraryStore::cancelThumbnailPreparation()
{
    assertMainThread();
    processes_.end(thumbnailProcessID_, PivraProcess::State::stopped);
    thumbnailTask_.cancel();
    ++thumbnailGeneration_;
    thumbnailTask_ = TaskHandle();
    assign(isPreparingThumbnails_, false, &LibraryStore::isPreparingThumbnailsChanged);
}

bool LibraryStore::isCurrentThumbnailRun(const ThumbnailRun& run) const
{
    return run.generation == thumbnailGeneration_;
}

Task<> LibraryStore::prepareThumbnails(std::shared_ptr<ThumbnailRun> run)
{
    const TaskHandle self = co_await currentTask();
    bool stopped = false;
    try {
        if (!run->onlyIncomplete) {
            for (const LibrarySource& source : run->candidates) {
                co_await catalog_->call(&MediaCatalog::retryFailedThumbnails, source.id);
            }
            co_await refreshThumbnailStatuses();
        }
        int pending = 0;
        for (const LibrarySource& source : run->candidates) {
            pending += thumbnailStatuses_.value(source.id).pending;
        }
        processes_.update(run->processID, {.total = pending});

        for (const LibrarySource& source : run->candidates) {
            const ThumbnailStatus status = thumbnailStatuses_.value(source.id);
            run->sourceID = source.id;
            run->ready = status.ready;
            run->pending = status.pending;
            run->sourceFailed = status.failed;
            run->lastPublished = services_.monotonicClock();
            std::optional<QString> afterID;
            while (!self.isCancelled() && isCurrentThumbnailRun(*run)) {
                std::vector<MediaItem> batch =
                    co_await catalog_->call(&MediaCatalog::thumbnailBatch, source.id, afterID, batchLimit);
                if (self.isCancelled() || !isCurrentThumbnailRun(*run) || batch.empty()) {
                    break;
                }
                afterID = batch.back().id();
                co_await prepareThumbnailBatch(run, std::move(batch));
                if (isCurrentThumbnailRun(*run)) {
                    publishThumbnailProgress(*run, false);
                }
            }
        }
    } catch (const Cancelled&) {
        stopped = true; // the renderer went away with the preparations it held
    } catch (const std::exception&) {
        if (!self.isCancelled()) {
            processes_.end(run->processID, PivraProcess::State::failed);
            setMessage(QStringLiteral("Could not prepare thumbnails."));
        }
    }

    processes_.update(run->processID, {.completed = run->completed, .failed = run->failed});
    processes_.end(run->processID,
                   stopped || self.isCancelled() ? PivraProcess::State::stopped : PivraProcess::State::finished);
    qCInfo(sourcesLog, "thumbnails ended: %d done, %d failed", run->completed, run->failed);
    if (!isCurrentThumbnailRun(*run)) {
        co_return; // a newer start or a cancel owns the store's fields
    }
    co_await refreshThumbnailStatuses();
    // The refresh took a turn of the event loop; a start or cancel in it owns the fields now.
    if (!isCurrentThumbnailRun(*run)) {
        co_return;
    }
    assign(isPreparingThumbnails_, false, &LibraryStore::isPreparingThumbnailsChanged);
    thumbnailTask_ = TaskHandle();
    startVideoPreviewPreparation();
}

Task<> LibraryStore::prepareThumbnailBatch(std::shared_ptr<ThumbnailRun> run, std::vector<MediaItem> batch)
{
    const TaskHandle self = co_await currentTask();
    TaskGroup<Rendered> group;
    std::size_t next = 0;
    for (; next < batch.size() && next < groupWidth; ++next) {
        group.add(this, renderThumbnail(services_.thumbnails, batch[next]));
    }
    while (group.outstanding() > 0) {
        const Rendered rendered = co_await group.next();
        if (isCurrentThumbnailRun(*run)) {
            co_await recordThumbnail(*run, rendered.id, rendered.key, rendered.refused);
        }
        if (next < batch.size()) {
            const MediaItem& item = batch[next++];
            if (!self.isCancelled() && isCurrentThumbnailRun(*run)) {
                group.add(this, renderThumbnail(services_.thumbnails, item));
            }
        }
    }
}

// A key that changes no row (the item got one meanwhile) is not counted; an
// item that could not be rendered counts as done and failed even when its
// mark cannot be written. A file refused until it changes is marked failed
// for good, so that no later run tries it again.
Task<> LibraryStore::recordThumbnail(ThumbnailRun& run, QString id, std::optional<QString> key, bool forGood)
{
    bool counted = true;
    if (key) {
        try {
            counted = co_await catalog_->call(&MediaCatalog::setThumbnailKey, *key, id);
        } catch (const std::exception&) {
            counted = false;
        }
        run.ready += counted ? 1 : 0;
    } else {
        try {
            co_await catalog_->call(&MediaCatalog::setThumbnailFailed, id, forGood);
        } catch (const std::exception&) {
            // counted as failed all the same
        }
        ++run.sourceFailed;
        ++run.failed;
    }
    if (counted) {
        run.pending = std::max(run.pending - 1, 0);
        ++run.completed;
    }

    const auto now = services_.monotonicClock();
    if (isCurrentThumbnailRun(run) && now - run.lastPublished >= publicationInterval) {
        publishThumbnailProgress(run, true);
        run.lastPublished = now;
    }
}

void LibraryStore::publishThumbnailProgress(const ThumbnailRun& run, bool updatesRecord)
{
    ThumbnailStatuses statuses = thumbnailStatuses_;
    ThumbnailStatus& status = statuses[run.sourceID];
    status.ready = run.ready;
    status.pending = run.pending;
    status.failed = run.sourceFailed;
    assign(thumbnailStatuses_, std::move(statuses), &LibraryStore::thumbnailStatusesChanged);

    int ready = 0;
    int failed = 0;
    for (const LibrarySource& source : run.candidates) {
        const ThumbnailStatus candidate = thumbnailStatuses_.value(source.id);
        ready += candidate.ready;
        failed += candidate.failed;
    }
    assign(thumbnailCompleted_, ready, &LibraryStore::thumbnailCompletedChanged);
    assign(thumbnailFailed_, failed, &LibraryStore::thumbnailFailedChanged);
    if (updatesRecord) {
        processes_.update(run.processID, {.completed = run.completed, .failed = run.failed});
    }
}

} // namespace pivra
