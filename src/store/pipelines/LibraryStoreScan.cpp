// Indexing: the folder scan over the online folder sources and the indexing of
// a device's published catalog, each as a process record.

#include "catalog/scan/FolderScan.h"
#include "catalog/scan/ScanTurn.h"
#include "platform/runtime/Cancelled.h"
#include "store/LibraryStore.h"
#include "store/sources/SourcesLog.h"

namespace pivra {

namespace {

QString scanPosition(const QString& name, qsizetype index, qsizetype count)
{
    return name + QStringLiteral(" \u00B7 ") + QString::number(index + 1) + QStringLiteral(" of ")
           + QString::number(count);
}

const char* stateWord(PivraProcess::State state)
{
    switch (state) {
    case PivraProcess::State::running:
        return "running";
    case PivraProcess::State::finished:
        return "finished";
    case PivraProcess::State::stopped:
        return "stopped";
    case PivraProcess::State::failed:
        return "failed";
    }
    return "";
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
    startRescan(std::nullopt);
}

void LibraryStore::startRescan(const std::optional<QSet<QUuid>>& only)
{
    assertMainThread();
    std::optional<QSet<QUuid>> scope = only;
    if (scope && unwalked_) {
        scope->unite(*unwalked_);
    } else {
        scope.reset();
    }
    std::exchange(scanTask_, TaskHandle{}).cancel();
    assign(scanningSourceIDs_, QSet<QUuid>{}, &LibraryStore::scanningSourceIDsChanged);
    const int generation = ++scanGeneration_;
    // The replaced run is over for the user at once, though its task may
    // still be finishing a catalog call.
    processes_.end(std::exchange(indexingProcessID_, std::nullopt), PivraProcess::State::stopped);
    unwalked_ = scope;
    scanTask_ = startTask(this, returningMemory(rescanSources(generation, std::move(scope))));
}

// Folder access comes first, as everything after it depends on which sources
// are online; it reads the disks off the GUI thread, so the rest follows once
// its answers are in, unless a newer rescan or a stop replaced this one. The
// gallery shows what the answers changed before the scan queues its reads of
// whole sources on the catalog: behind them, a large folder that came online
// showed its first screen only once its every row had been read.
Task<> LibraryStore::rescanSources(int generation, std::optional<QSet<QUuid>> only)
{
    const QHash<QUuid, AccessedFolder> before = activeAccess_;
    const bool applied = co_await restoreAccess();
    const TaskHandle self = co_await currentTask();
    if (!applied || self.isCancelled() || scanGeneration_ != generation) {
        co_return;
    }
    // A source the pass brought online, or to another folder, is walked
    // whatever the run was for.
    if (only) {
        for (const LibrarySource& source : std::as_const(sources_)) {
            if (before.value(source.id) != activeAccess_.value(source.id)) {
                only->insert(source.id);
            }
        }
        unwalked_ = only;
    }
    co_await reload();
    if (self.isCancelled() || scanGeneration_ != generation) {
        co_return;
    }
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
        unwalked_ = QSet<QUuid>{};
        co_return;
    }

    QList<ScanTarget> targets;
    QSet<QUuid> walking;
    for (const LibrarySource& source : std::as_const(sources_)) {
        const auto folder = activeAccess_.constFind(source.id);
        const auto strange = strangeFolders_.constFind(source.id);
        if (only && !only->contains(source.id)) {
            continue;
        }
        if (source.isOnline && folder != activeAccess_.cend()) {
            targets.append(ScanTarget{source.id, *folder, source.name});
        } else if (strange != strangeFolders_.cend() && strange->has_value()) {
            targets.append(ScanTarget{source.id, **strange, source.name, true});
        } else {
            continue;
        }
        walking.insert(source.id);
    }
    unwalked_ = walking;
    assign(isScanning_, !targets.isEmpty(), &LibraryStore::isScanningChanged);
    QSet<QUuid> scanning = scanningSourceIDs_;
    QStringList names;
    for (const ScanTarget& target : std::as_const(targets)) {
        scanning.insert(target.id);
        names.append(target.name);
    }
    assign(scanningSourceIDs_, std::move(scanning), &LibraryStore::scanningSourceIDsChanged);
    assign(scannedCount_, 0, &LibraryStore::scannedCountChanged);
    if (!targets.isEmpty()) {
        indexingProcessID_ = processes_.begin(PivraProcess::Kind::indexing, sourceSummary(names));
    }
    co_await scanFolders(std::move(targets), indexingProcessID_, generation);
}

// The batches a stopped scan committed stay in the catalog, and no later
// scan may write again to tell the gallery: it reloads now. Its reads queue
// on the catalog behind a batch still being written, and no batch is written
// once the scan is cancelled.
void LibraryStore::cancelScan()
{
    assertMainThread();
    const bool wasScanning = isScanning_;
    std::exchange(scanTask_, TaskHandle{}).cancel();
    ++scanGeneration_;
    unwalked_ = QSet<QUuid>{}; // stopped by the user: nothing is handed on
    processes_.end(std::exchange(indexingProcessID_, std::nullopt), PivraProcess::State::stopped);
    assign(scanningSourceIDs_, QSet<QUuid>{}, &LibraryStore::scanningSourceIDsChanged);
    assign(isScanning_, false, &LibraryStore::isScanningChanged);
    if (wasScanning) {
        startReload();
    }
}

// Scans of one source take turns in the catalog. A cancelled scan whose read
// hangs on a dead disk keeps its source's turn, so a source whose turn is
// taken waits until the others are done instead of holding them up.
qsizetype LibraryStore::nextScanTarget(const QList<ScanTarget>& remaining) const
{
    for (qsizetype index = 0; index < remaining.size(); ++index) {
        if (!isScanTurnTaken(ScanTurn::Key{catalog_.get(), remaining[index].id})) {
            return index;
        }
    }
    return 0;
}

Task<> LibraryStore::scanFolders(QList<ScanTarget> targets, std::optional<QUuid> processID, int generation)
{
    const TaskHandle self = co_await currentTask();
    QStringList names;
    for (const ScanTarget& target : std::as_const(targets)) {
        names.append(target.name);
    }
    const qsizetype count = targets.size();
    int filesDone = 0;
    int failures = 0;
    QList<ScanTarget> remaining = targets;
    for (qsizetype position = 0; !remaining.isEmpty(); ++position) {
        if (self.isCancelled()) {
            break;
        }
        const ScanTarget target = remaining.takeAt(nextScanTarget(remaining));
        const SourceFolder folder{target.folder.identity, target.folder.knownByPlace || target.strange};
        if (count > 1) {
            processes_.update(processID, {.detail = scanPosition(target.name, position, count)});
        }
        // Reports of a replaced scan are dropped; this source's count adds
        // to the files of the sources before it.
        const ScanProgress progress = [this, generation, processID, base = filesDone](int processed) {
            if (scanGeneration_ == generation) {
                assign(scannedCount_, base + processed, &LibraryStore::scannedCountChanged);
                processes_.update(processID, {.completed = base + processed});
            }
        };
        bool scanned = false;
        bool changed = false;
        bool cancelled = false;
        bool failed = false;
        try {
            const ScanOutcome outcome =
                co_await scan(*catalog_, services_.inspector, target.id, target.folder.path, folder, progress,
                              self.token(), services_.walker);
            scanned = true;
            changed = outcome.changedRows;
            filesDone += outcome.processed;
            // The user's word has been taken: from now on the folder holds the
            // source's files.
            if (!folder.knownByPlace) {
                chosenByUser_.remove(target.id);
            }
            if (scanGeneration_ == generation) {
                if (outcome.strangeFolder && !target.strange) {
                    setAsideStrangeFolder(target.id, target.folder);
                } else if (!outcome.strangeFolder && target.strange) {
                    takeBackStrangeFolder(target.id, target.folder);
                }
            }
            // A strange folder was not read into the source: what it says of
            // the source's own folders is nothing.
            if (!outcome.strangeFolder) {
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
            }
        } catch (const Cancelled&) {
            cancelled = true;
        } catch (const std::exception&) {
            processes_.update(processID, {.failed = ++failures});
            // The batches committed before the failure stay in the catalog.
            failed = true;
            changed = true;
        }
        if (cancelled) {
            break;
        }
        if (scanned || failed) {
            processes_.update(processID, {.completed = filesDone});
            if (changed) {
                co_await reload();
            }
            co_await refreshAlbums();
            co_await refreshThumbnailStatuses();
            co_await refreshIndexedFolders(target.id);
        }
        if (failed) {
            // After the reload, whose own failure would hide which source failed.
            // The source's own name: a source at "/" has no last component.
            setMessage(u"Could not scan " + target.name + u".");
        }
        if (scanGeneration_ == generation) {
            removeScanningSource(target.id);
            if (unwalked_) {
                unwalked_->remove(target.id);
            }
        }
    }

    if (scanGeneration_ != generation) {
        co_return; // a newer scan or a cancel owns the state
    }
    unwalked_ = QSet<QUuid>{};
    processes_.update(processID, {.detail = sourceSummary(names)});
    const PivraProcess::State state = self.isCancelled()       ? PivraProcess::State::stopped
                                      : count > 0 && failures == count ? PivraProcess::State::failed
                                                                 : PivraProcess::State::finished;
    processes_.end(processID, state);
    if (indexingProcessID_ == processID) {
        indexingProcessID_ = std::nullopt;
    }
    assign(isScanning_, false, &LibraryStore::isScanningChanged);
    qCInfo(sourcesLog, "indexing ended: %s, %d files", stateWord(state), filesDone);
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
    startTask(this, returningMemory(indexCameraItems(sourceID, std::move(items), processID)));
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
    if (!summaries_) {
        co_return;
    }
    try {
        ThumbnailStatuses statuses = co_await summaries_->call(&CatalogSummaries::thumbnailStatuses);
        assign(thumbnailStatuses_, std::move(statuses), &LibraryStore::thumbnailStatusesChanged);
    } catch (const std::exception&) {
        // the previous counts stay
    }
}

// A source whose folders cannot be read shows none.
Task<> LibraryStore::refreshIndexedFolders(QUuid sourceID)
{
    if (!summaries_) {
        co_return;
    }
    QStringList folders;
    try {
        folders = co_await summaries_->call(&CatalogSummaries::indexedFolders, sourceID);
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
