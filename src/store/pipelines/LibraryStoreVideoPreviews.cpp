// Preview clips: the short silent clips of the online sources' videos, made
// two at a time after thumbnail preparation.
//
// A run is current while videoPreviewTask_ holds its own handle. A stop clears
// the handle at once, and a new run may start while the stopped one still
// waits for the clips under way: the stopped run then counts only into its
// own counters and record, and publishes nothing.

#include "catalog/MediaCatalog.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/TaskGroup.h"
#include "store/LibraryStore.h"

#include <iterator>

namespace pivra {

namespace {

// Encodings of one run at once; each is seconds of work for the processor.
constexpr std::size_t groupWidth = 2;

// The videos still without a clip, in the candidates' order. Items sharing a
// key share a clip, so the first with the key speaks for all of them.
std::vector<MediaItem> neededPreviews(VideoPreviewStore* previews, std::vector<MediaItem> candidates)
{
    QSet<QString> seen;
    std::vector<MediaItem> needed;
    for (MediaItem& item : candidates) {
        const std::optional<QString> key = item.thumbnailKey();
        if (!key || seen.contains(*key)) {
            continue;
        }
        seen.insert(*key);
        if (previews->needsPreview(item)) {
            needed.push_back(std::move(item));
        }
    }
    return needed;
}

Task<bool> makePreview(VideoPreviewStore* previews, MediaItem item)
{
    co_return co_await runOnPool(PoolPriority::utility, &VideoPreviewStore::makePreview, previews, std::move(item));
}

} // namespace

void LibraryStore::startVideoPreviewPreparation()
{
    assertMainThread();
    if (services_.previews == nullptr || !services_.previews->isEnabled() || !catalog_ || videoPreviewTask_.isValid()
        || isPreparingThumbnails_) {
        return;
    }
    QList<QUuid> sourceIDs;
    for (const LibrarySource& source : std::as_const(sources_)) {
        // A locked device cannot be read; its clips wait until it is unlocked.
        if (source.isOnline && !lockedCameraSourceIDs_.contains(source.id)) {
            sourceIDs.append(source.id);
        }
    }
    if (sourceIDs.isEmpty()) {
        return;
    }
    videoPreviewRuns_.removeIf([](const TaskHandle& run) { return run.isDone(); });
    videoPreviewTask_ = startTask(this, returningMemory(prepareVideoPreviews(std::move(sourceIDs))));
    videoPreviewRuns_.append(videoPreviewTask_);
}

void LibraryStore::cancelVideoPreviewPreparation()
{
    assertMainThread();
    processes_.end(videoPreviewProcessID_, PivraProcess::State::stopped);
    std::exchange(videoPreviewTask_, TaskHandle()).cancel();
    assign(isPreparingVideoPreviews_, false, &LibraryStore::isPreparingVideoPreviewsChanged);
}

Task<> LibraryStore::deleteAllVideoPreviews()
{
    assertMainThread();
    cancelVideoPreviewPreparation();
    {
        AppSettings settings;
        settings.setValue(VideoPreviewStore::enabledKey, false);
        settings.sync();
    }
    // A stopped run's clips still encoding would be moved into place after the
    // deletion, or marked failed once their folder is gone; with clips off no
    // new run starts while these end.
    const QList<TaskHandle> runs = std::exchange(videoPreviewRuns_, {});
    for (const TaskHandle& run : runs) {
        co_await run;
    }
    if (services_.previews != nullptr) {
        co_await runOnPool(PoolPriority::userInitiated, &VideoPreviewStore::deleteAll, services_.previews);
    }
}

Task<> LibraryStore::prepareVideoPreviews(QList<QUuid> sourceIDs)
{
    const TaskHandle self = co_await currentTask();
    std::vector<MediaItem> candidates;
    for (const QUuid& id : std::as_const(sourceIDs)) {
        try {
            std::vector<MediaItem> items = co_await catalog_->call(&MediaCatalog::videoPreviewCandidates, id);
            candidates.insert(candidates.end(), std::make_move_iterator(items.begin()),
                              std::make_move_iterator(items.end()));
        } catch (const std::exception&) {
            // this source's clips wait for the next run
        }
    }
    const std::vector<MediaItem> needed =
        co_await runOnPool(PoolPriority::utility, &neededPreviews, services_.previews, std::move(candidates));
    if (videoPreviewTask_ != self) {
        co_return;
    }
    if (needed.empty()) {
        assign(isPreparingVideoPreviews_, false, &LibraryStore::isPreparingVideoPreviewsChanged);
        videoPreviewTask_ = TaskHandle();
        co_return;
    }

    const int total = static_cast<int>(needed.size());
    assign(isPreparingVideoPreviews_, true, &LibraryStore::isPreparingVideoPreviewsChanged);
    assign(videoPreviewTotal_, total, &LibraryStore::videoPreviewTotalChanged);
    assign(videoPreviewCompleted_, 0, &LibraryStore::videoPreviewCompletedChanged);
    QStringList names;
    for (const LibrarySource& source : std::as_const(sources_)) {
        if (sourceIDs.contains(source.id)) {
            names.append(source.name);
        }
    }
    const QUuid processID = processes_.begin(PivraProcess::Kind::videoPreviews, sourceSummary(names), total);
    videoPreviewProcessID_ = processID;

    TaskGroup<bool> group;
    std::size_t next = 0;
    for (; next < needed.size() && next < groupWidth; ++next) {
        group.add(this, makePreview(services_.previews, needed[next]));
    }
    int completed = 0;
    int failed = 0;
    bool counting = true;
    // Left early, the run still waits for the clips under way, uncounted, so
    // that whoever waits for its end finds them in place.
    while (group.outstanding() > 0) {
        const bool made = co_await group.next();
        if (!counting) {
            continue;
        }
        ++completed;
        failed += made ? 0 : 1;
        if (videoPreviewTask_ == self) {
            assign(videoPreviewCompleted_, completed, &LibraryStore::videoPreviewCompletedChanged);
        }
        processes_.update(processID, {.completed = completed, .failed = failed});
        // Switching clips off elsewhere stops the run without a cancel.
        counting = videoPreviewTask_ == self && services_.previews->isEnabled();
        if (counting && next < needed.size()) {
            group.add(this, makePreview(services_.previews, needed[next++]));
        }
    }

    const bool current = videoPreviewTask_ == self;
    processes_.end(processID, current && services_.previews->isEnabled() ? PivraProcess::State::finished
                                                                         : PivraProcess::State::stopped);
    if (current) {
        assign(isPreparingVideoPreviews_, false, &LibraryStore::isPreparingVideoPreviewsChanged);
        videoPreviewTask_ = TaskHandle();
    }
}

} // namespace pivra
