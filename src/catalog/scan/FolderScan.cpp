#include "catalog/scan/FolderScan.h"

#include "catalog/scan/ScanDecisions.h"
#include "catalog/scan/ScanTurn.h"
#include "catalog/model/Uuid.h"
#include "platform/runtime/Cancelled.h"
#include "platform/runtime/threads/Pool.h"

#include <QThread>

#include <algorithm>
#include <type_traits>

namespace pivra {

namespace {

// Inspections of one batch that may read files at the same time: one per
// core, since once the disk has given a photo's first bytes reading its
// metadata is parsing, and at least 4 to overlap the waits of a slow disk.
// Each holds a file or two open and a few megabytes at most.
int parallelReads()
{
    constexpr int fewest = 4;
    return std::max(fewest, QThread::idealThreadCount());
}

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

void deleteUnseen(MediaCatalog& catalog, QUuid sourceID, QString token,
                  std::shared_ptr<const ScanFingerprints> fingerprints, std::shared_ptr<const std::vector<bool>> seen,
                  QStringList keptFolders, CancelToken cancel)
{
    throwIfCancelled(cancel);
    catalog.deleteUnseen(sourceID, token, *fingerprints, *seen, keptFolders);
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

struct TimedBatch {
    DecidedBatch decided;
    std::chrono::steady_clock::duration took;
};

TimedBatch decideNext(ScanInputs inputs, std::size_t first, std::size_t size, CancelToken cancel)
{
    const auto start = std::chrono::steady_clock::now();
    DecidedBatch decided = decideBatch(inputs, first, size, parallelReads(), cancel);
    return {std::move(decided), std::chrono::steady_clock::now() - start};
}

// Work started on the pool and awaited later, so that it overlaps what the
// scan does meanwhile: the walk overlaps the reading of the fingerprints,
// and each batch's decisions the writing of the batch before.
template<typename T>
struct Pending {
    TaskHandle task;
    std::shared_ptr<std::optional<T>> result = std::make_shared<std::optional<T>>();
    std::shared_ptr<std::exception_ptr> failure = std::make_shared<std::exception_ptr>();

    // Once `task` has been awaited: the result, or what the work threw.
    T take()
    {
        if (*failure) {
            std::rethrow_exception(*failure);
        }
        return std::move(**result);
    }
};

template<typename T, typename F, typename... Args>
Task<> runInto(std::shared_ptr<std::optional<T>> result, std::shared_ptr<std::exception_ptr> failure, F function,
               Args... args)
{
    try {
        *result = co_await runOnPool(PoolPriority::userInitiated, function, std::move(args)...);
    } catch (...) {
        *failure = std::current_exception();
    }
}

template<typename F, typename... Args>
auto startPending(F function, Args... args)
{
    using T = std::invoke_result_t<F, Args...>;
    Pending<T> pending;
    pending.task = startTask(nullptr, runInto<T>(pending.result, pending.failure, function, std::move(args)...));
    return pending;
}

} // namespace

std::size_t nextScanBatchSize(std::size_t size, std::chrono::steady_clock::duration took)
{
    constexpr std::chrono::milliseconds quick{250};
    if (took <= quick) {
        return std::min(size * 2, largestScanBatch);
    }
    if (took > 2 * quick) {
        return std::max(size / 2, firstScanBatch);
    }
    return size;
}

Task<ScanOutcome> scan(CatalogExecutor& catalog, std::shared_ptr<const MediaInspector> inspector, QUuid sourceID,
                       QString root, SourceFolder folder, ScanProgress progress, CancelToken cancel,
                       FolderWalker walker)
{
    const ScanTurn::Key key{&catalog, sourceID};
    co_await waitForScanTurn(key);
    const ScanTurn turn(key);
    throwIfCancelled(cancel);

    const QString token = uuidString(QUuid::createUuid());
    Pending<FolderWalk> walking = startPending(walker, root, cancel);
    ScanFingerprints fingerprints = co_await catalog.call(&readFingerprints, sourceID);
    co_await walking.task;
    FolderWalk walk = walking.take();
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
    if (folder.knownByPlace && inputs.fingerprints->rowCount() > 0
        && !co_await runOnPool(PoolPriority::userInitiated, &holdsKnownFile, inputs, cancel)) {
        ScanOutcome strange;
        strange.complete = false;
        strange.strangeFolder = true;
        co_return strange;
    }

    // The next batch is read while the current one is written, so the
    // catalog's writes do not add to the time the files take to read. The
    // decisions are the same either way: each batch starts where the last
    // one ended.
    //
    // Rows of unchanged files are not written, so the scan itself remembers
    // which rows it saw, to delete the others by id at the end.
    auto seen = std::make_shared<std::vector<bool>>(inputs.fingerprints->rowCount(), false);
    int processed = 0;
    bool wrote = false;
    std::size_t size = firstScanBatch;
    Pending<TimedBatch> pending = startPending(&decideNext, inputs, std::size_t(0), size, cancel);
    for (;;) {
        co_await pending.task;
        auto [decided, took] = pending.take();
        const bool full = decided.batch.decisions() >= size;
        processed += static_cast<int>(decided.batch.decisions());
        if (full) {
            size = nextScanBatchSize(size, took);
            pending = startPending(&decideNext, inputs, decided.next, size, cancel);
        }
        for (const std::uint32_t row : decided.batch.untouched) {
            (*seen)[row] = true;
        }
        if (decided.batch.writesNothing()) {
            throwIfCancelled(cancel);
        } else {
            wrote = true;
            auto batch = std::make_shared<const ScanBatch>(std::move(decided.batch));
            co_await catalog.call(&writeBatch, batch, token, cancel);
        }
        if (!full) {
            break;
        }
        progress(processed);
    }

    // Every file is decided: the walk goes now, on the pool thread that
    // checks it, and the fingerprints with the deletion, on the catalog's,
    // so that a large source's do not wait for the next source's to be read.
    pending = {}; // its finished job held the inputs too
    ScanOutcome outcome;
    outcome.processed = processed;
    outcome.unopenedFolders = inputs.walk->unopenedFolders;
    outcome.complete = outcome.unopenedFolders.isEmpty();
    const bool whole =
        co_await runOnPool(PoolPriority::userInitiated, &walkWasWhole, std::move(inputs.walk), folder.identity);
    outcome.changedRows = wrote || (whole && std::find(seen->begin(), seen->end(), false) != seen->end());
    if (whole) {
        const std::shared_ptr<const std::vector<bool>> seenRows = std::move(seen);
        co_await catalog.call(&deleteUnseen, sourceID, token, std::move(inputs.fingerprints), seenRows,
                              outcome.unopenedFolders, cancel);
    } else {
        outcome.complete = false;
    }
    throwIfCancelled(cancel);
    progress(processed);
    co_return outcome;
}

} // namespace pivra
