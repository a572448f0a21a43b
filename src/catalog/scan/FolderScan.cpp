#include "catalog/scan/FolderScan.h"

#include "catalog/scan/ScanDecisions.h"
#include "catalog/scan/ScanTurn.h"
#include "catalog/model/Uuid.h"
#include "platform/runtime/Cancelled.h"
#include "platform/runtime/Pool.h"

namespace pivra {

namespace {

// Inspections of one batch that may read files at the same time: enough to
// overlap the waits of a disk, few enough to leave the machine to the user.
constexpr int parallelReads = 4;

void throwIfCancelled(const CancelToken& cancel)
{
    if (cancel.isCancelled()) {
        throw Cancelled();
    }
}

// The catalog jobs of a scan. Each checks the token on the catalog thread
// itself, right before it writes: a scan cancelled while its job waited in
// the queue must not write rows that a newer scan, or the source's removal,
// then finds.
void writeBatch(MediaCatalog& catalog, std::shared_ptr<const ScanBatch> batch, QString token, CancelToken cancel)
{
    throwIfCancelled(cancel);
    catalog.apply(*batch, token);
}

void deleteUnseen(MediaCatalog& catalog, QUuid sourceID, QString token, QStringList keptFolders, CancelToken cancel)
{
    throwIfCancelled(cancel);
    catalog.deleteStale(sourceID, token, keptFolders);
}

ScanFingerprints readFingerprints(MediaCatalog& catalog, QUuid sourceID)
{
    return catalog.existingFingerprints(sourceID);
}

QStringList rootPrefixes(const QString& root, const QString& resolvedRoot)
{
    QStringList prefixes;
    for (QString prefix : {root, resolvedRoot}) {
        if (!prefix.endsWith(u'/')) {
            prefix += u'/';
        }
        prefixes.append(prefix);
    }
    return prefixes;
}

// Whether the walk may be trusted to have seen every file outside the folders
// it could not open: it read every folder it opened, its root is the folder
// the source was added as (not a folder made anew with its freed inode
// number, told by the birth time), and still the same folder of the same disk.
bool walkWasWhole(std::shared_ptr<const FolderWalk> walk, std::optional<FolderIdentity> sourceIdentity)
{
    if (!walk->complete || (sourceIdentity && !isSameFolder(*sourceIdentity, walk->rootIdentity))) {
        return false;
    }
    return folderIdentity(walk->rootPath) == walk->rootIdentity;
}

DecidedBatch decideNext(ScanInputs inputs, std::size_t first, CancelToken cancel)
{
    return decideBatch(inputs, first, scanBatchSize, parallelReads, cancel);
}

// A batch being decided on the pool while the one before it is written.
struct NextBatch {
    TaskHandle task;
    std::shared_ptr<std::optional<DecidedBatch>> decided = std::make_shared<std::optional<DecidedBatch>>();
    std::shared_ptr<std::exception_ptr> failure = std::make_shared<std::exception_ptr>();
};

Task<> decideInto(std::shared_ptr<std::optional<DecidedBatch>> decided, std::shared_ptr<std::exception_ptr> failure,
                  ScanInputs inputs, std::size_t first, CancelToken cancel)
{
    try {
        *decided = co_await runOnPool(PoolPriority::userInitiated, &decideNext, std::move(inputs), first, cancel);
    } catch (...) {
        *failure = std::current_exception();
    }
}

NextBatch startDeciding(const ScanInputs& inputs, std::size_t first, const CancelToken& cancel)
{
    NextBatch next;
    next.task = startTask(nullptr, decideInto(next.decided, next.failure, inputs, first, cancel));
    return next;
}

} // namespace

Task<ScanOutcome> scan(CatalogExecutor& catalog, std::shared_ptr<const MediaInspector> inspector, QUuid sourceID,
                       QString root, std::optional<FolderIdentity> sourceIdentity, ScanProgress progress,
                       CancelToken cancel, FolderWalker walker)
{
    const ScanTurn::Key key{&catalog, sourceID};
    co_await waitForScanTurn(key);
    const ScanTurn turn(key);
    throwIfCancelled(cancel);

    const QString token = uuidString(QUuid::createUuid());
    ScanFingerprints fingerprints = co_await catalog.call(&readFingerprints, sourceID);
    FolderWalk walk = co_await runOnPool(PoolPriority::userInitiated, walker, root, cancel);
    throwIfCancelled(cancel);
    if (!walk.opened) {
        ScanOutcome unopened;
        unopened.complete = false;
        co_return unopened;
    }

    ScanInputs inputs;
    inputs.sourceID = sourceID;
    inputs.inspector = std::move(inspector);
    inputs.fingerprints = std::make_shared<const ScanFingerprints>(std::move(fingerprints));
    inputs.rootPrefixes = rootPrefixes(root, walk.rootPath);
    inputs.walk = std::make_shared<const FolderWalk>(std::move(walk));

    // The next batch is read while the current one is written, so the
    // catalog's writes do not add to the time the files take to read. The
    // decisions are the same either way: each batch starts where the last
    // one ended.
    int processed = 0;
    NextBatch pending = startDeciding(inputs, 0, cancel);
    for (;;) {
        co_await pending.task;
        if (*pending.failure) {
            std::rethrow_exception(*pending.failure);
        }
        DecidedBatch decided = std::move(**pending.decided);
        const bool full = decided.batch.decisions() >= scanBatchSize;
        processed += static_cast<int>(decided.batch.decisions());
        if (full) {
            pending = startDeciding(inputs, decided.next, cancel);
        }
        auto batch = std::make_shared<const ScanBatch>(std::move(decided.batch));
        co_await catalog.call(&writeBatch, batch, token, cancel);
        if (!full) {
            break;
        }
        progress(processed);
    }

    ScanOutcome outcome;
    outcome.processed = processed;
    outcome.unopenedFolders = inputs.walk->unopenedFolders;
    outcome.complete = outcome.unopenedFolders.isEmpty();
    const bool whole = co_await runOnPool(PoolPriority::userInitiated, &walkWasWhole, inputs.walk, sourceIdentity);
    if (whole) {
        co_await catalog.call(&deleteUnseen, sourceID, token, outcome.unopenedFolders, cancel);
    } else {
        outcome.complete = false;
    }
    throwIfCancelled(cancel);
    progress(processed);
    co_return outcome;
}

} // namespace pivra
