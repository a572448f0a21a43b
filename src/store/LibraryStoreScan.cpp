// Indexing: the folder scan over the online folder sources and the indexing of
// a device's published catalog, each as a process record.

#include "catalog/scan/FolderScan.h"
#include "platform/runtime/Cancelled.h"
#include "store/LibraryStore.h"

#include <QFileInfo>

namespace pivra {

namespace {

QString scanPosition(const QString& name, qsizetype index, qsizetype count)
{
    return name + QStringLiteral(" \u00B7 ") + QString::number(index + 1) + QStringLiteral(" of ")
           + QString::number(count);
}

} // namespace

QString LibraryStore::sourceSummary(const QStringList& names)
{
    switch (names.size()) {
    case 0:
        return QStringLiteral("No sources");
    case 1:
        return names.front();
    case 2:
        return names[0] + QStringLiteral(" and ") + names[1];
    default:
        return QString::number(names.size()) + QStringLiteral(" sources");
    }
}

void LibraryStore::rescan()
{
    assertMainThread();
    const TaskHandle previous = std::exchange(scanTask_, TaskHandle{});
    previous.cancel();
    assign(scanningSourceIDs_, QSet<QUuid>{}, &LibraryStore::scanningSourceIDsChanged);
    const int generation = ++scanGeneration_;
    restoreAccess();
    startReload();
    if (services_.cameras != nullptr) {
        // A refresh may hand a catalog over at once, which reaches the list.
        QList<QUuid> onlineCameras;
        for (const LibrarySource& source : std::as_const(sources_)) {
            if (source.kind == LibrarySource::Kind::camera && source.isOnline) {
                onlineCameras.append(source.id);
            }
        }
        for (const QUuid& id : std::as_const(onlineCameras)) {
            services_.cameras->refresh(id);
        }
    }
    if (!catalog_ || !services_.inspector) {
        return;
    }

    QList<ScanTarget> targets;
    for (const LibrarySource& source : std::as_const(sources_)) {
        if (const auto folder = activeAccess_.constFind(source.id); source.isOnline && folder != activeAccess_.cend()) {
            targets.append(ScanTarget{source.id, *folder, source.name});
        }
    }
    assign(isScanning_, !targets.isEmpty(), &LibraryStore::isScanningChanged);
    QSet<QUuid> scanning = scanningSourceIDs_;
    QStringList names;
    for (const ScanTarget& target : std::as_const(targets)) {
        scanning.insert(target.id);
        names.append(target.name);
    }
    assign(scanningSourceIDs_, std::move(scanning), &LibraryStore::scanningSourceIDsChanged);
    assign(scannedCount_, 0, &LibraryStore::scannedCountChanged);
    processes_.end(std::exchange(indexingProcessID_, std::nullopt), PivraProcess::State::stopped);
    if (!targets.isEmpty()) {
        indexingProcessID_ = processes_.begin(PivraProcess::Kind::indexing, sourceSummary(names));
    }
    scanTask_ = startTask(this, scanFolders(std::move(targets), indexingProcessID_, generation, previous));
}

void LibraryStore::cancelScan()
{
    assertMainThread();
    std::exchange(scanTask_, TaskHandle{}).cancel();
    ++scanGeneration_;
    processes_.end(std::exchange(indexingProcessID_, std::nullopt), PivraProcess::State::stopped);
    assign(scanningSourceIDs_, QSet<QUuid>{}, &LibraryStore::scanningSourceIDsChanged);
    assign(isScanning_, false, &LibraryStore::isScanningChanged);
}

// A scan that is cancelled stops writing, but may still be between two
// catalog calls; the next one waits until it has ended, so a late batch of
// the old one can never be taken for rows the new one did not see.
Task<> LibraryStore::scanFolders(QList<ScanTarget> targets, std::optional<QUuid> processID, int generation,
                                 TaskHandle previous)
{
    co_await previous;
    const TaskHandle self = co_await currentTask();
    QStringList names;
    for (const ScanTarget& target : std::as_const(targets)) {
        names.append(target.name);
    }
    int filesDone = 0;
    int failures = 0;
    for (qsizetype index = 0; index < targets.size(); ++index) {
        if (self.isCancelled()) {
            break;
        }
        const ScanTarget target = targets[index];
        if (targets.size() > 1) {
            processes_.update(processID, {.detail = scanPosition(target.name, index, targets.size())});
        }
        // Reports of a replaced scan are dropped; this source's count adds
        // to the files of the sources before it.
        const ScanProgress progress = [this, generation, processID, base = filesDone](int processed) {
            if (scanGeneration_ == generation) {
                assign(scannedCount_, processed, &LibraryStore::scannedCountChanged);
                processes_.update(processID, {.completed = base + processed});
            }
        };
        bool scanned = false;
        bool cancelled = false;
        try {
            const ScanOutcome outcome = co_await scan(*catalog_, services_.inspector, target.id, target.folder.path,
                                                      target.folder.identity, progress, self.token());
            scanned = true;
            filesDone += outcome.processed;
            if (!outcome.complete) {
                qWarning("pivra: %s could not be read whole, so the rows of what was not seen are kept; "
                         "folders that could not be opened: %s",
                         qPrintable(target.folder.path), qPrintable(outcome.unopenedFolders.join(u", ")));
            }
            QHash<QUuid, QStringList> unopened = unopenedFolders_;
            if (outcome.complete) {
                unopened.remove(target.id);
            } else {
                unopened.insert(target.id, outcome.unopenedFolders);
            }
            assign(unopenedFolders_, std::move(unopened), &LibraryStore::unopenedFoldersChanged);
        } catch (const Cancelled&) {
            cancelled = true;
        } catch (const std::exception&) {
            processes_.update(processID, {.failed = ++failures});
            setMessage(u"Could not scan " + QFileInfo(target.folder.path).fileName() + u".");
        }
        if (cancelled) {
            break;
        }
        if (scanned) {
            processes_.update(processID, {.completed = filesDone});
            co_await reload();
            co_await refreshAlbums();
            co_await refreshThumbnailStatuses();
            co_await refreshIndexedFolders(target.id);
        }
        if (scanGeneration_ == generation) {
            removeScanningSource(target.id);
        }
    }

    if (scanGeneration_ != generation) {
        co_return; // a newer scan or a cancel owns the state
    }
    processes_.update(processID, {.detail = sourceSummary(names)});
    const PivraProcess::State state = self.isCancelled()         ? PivraProcess::State::stopped
                                      : failures == targets.size() ? PivraProcess::State::failed
                                                                   : PivraProcess::State::finished;
    processes_.end(processID, state);
    if (indexingProcessID_ == processID) {
        indexingProcessID_ = std::nullopt;
    }
    assign(isScanning_, false, &LibraryStore::isScanningChanged);
    if (!self.isCancelled()) {
        startLocationReading();
        startThumbnailPreparation(true);
    }
}

void LibraryStore::indexCamera(const QUuid& sourceID, std::vector<MediaItem> items)
{
    assertMainThread();
    const qsizetype index = indexOfSource(sourceID);
    if (index < 0 || sources_[index].kind != LibrarySource::Kind::camera || !catalog_) {
        return;
    }
    QSet<QUuid> scanning = scanningSourceIDs_;
    scanning.insert(sourceID);
    assign(scanningSourceIDs_, std::move(scanning), &LibraryStore::scanningSourceIDsChanged);
    const QUuid processID = processes_.begin(PivraProcess::Kind::indexing, sources_[index].name,
                                             static_cast<int>(items.size()));
    startTask(this, indexCameraItems(sourceID, std::move(items), processID));
}

// Camera indexing runs beside folder scans, with a record of its own and no
// generation: a rescan does not replace it.
Task<> LibraryStore::indexCameraItems(QUuid sourceID, std::vector<MediaItem> items, QUuid processID)
{
    bool written = true;
    try {
        co_await catalog_->call(&MediaCatalog::scanCamera, sourceID, items);
    } catch (const std::exception&) {
        written = false;
    }
    if (!written) {
        processes_.end(processID, PivraProcess::State::failed);
        setMessage(QStringLiteral("Could not index iPhone photos."));
        removeScanningSource(sourceID);
        co_return;
    }
    processes_.update(processID, {.completed = static_cast<int>(items.size())});
    processes_.end(processID, PivraProcess::State::finished);
    co_await reload();
    co_await refreshAlbums();
    co_await refreshThumbnailStatuses();
    startThumbnailPreparation(true);
    removeScanningSource(sourceID);
}

// Counts that cannot be read leave the previous ones.
Task<> LibraryStore::refreshThumbnailStatuses()
{
    if (!catalog_) {
        co_return;
    }
    try {
        ThumbnailStatuses statuses = co_await catalog_->call(&MediaCatalog::thumbnailStatuses);
        assign(thumbnailStatuses_, std::move(statuses), &LibraryStore::thumbnailStatusesChanged);
    } catch (const std::exception&) {
        // the previous counts stay
    }
}

// A source whose folders cannot be read shows none.
Task<> LibraryStore::refreshIndexedFolders(QUuid sourceID)
{
    QStringList folders;
    try {
        folders = co_await catalog_->call(&MediaCatalog::indexedFolders, sourceID);
    } catch (const std::exception&) {
        folders.clear();
    }
    assertMainThread();
    indexedFolders_.insert(sourceID, folders);
    Q_EMIT indexedFoldersChanged();
}

void LibraryStore::removeScanningSource(const QUuid& id)
{
    QSet<QUuid> scanning = scanningSourceIDs_;
    scanning.remove(id);
    assign(scanningSourceIDs_, std::move(scanning), &LibraryStore::scanningSourceIDsChanged);
}

} // namespace pivra
