#pragma once

#include "catalog/CatalogExecutor.h"
#include "catalog/scan/FolderWalk.h"
#include "catalog/scan/MediaInspector.h"
#include "platform/runtime/CancelToken.h"
#include "platform/runtime/Task.h"

#include <QString>
#include <QUuid>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace pivra {

// Receives the number of files decided so far, on the GUI thread.
using ScanProgress = std::function<void(int processed)>;

// How the scan lists a folder; walkFolder() but in tests.
using FolderWalker = FolderWalk (*)(const QString& root, const CancelToken& cancel);

// Files decided in a scan's first transaction, so that a slow disk shows its
// first rows soon. Later ones grow while the files come quickly, up to
// largestScanBatch: a transaction touches pages all over the catalog's
// indexes, and a larger one shares more of them among its rows. The single
// writer is what bounds a first scan once the files are read on every core:
// at 1,000 rows its commits rewrote the same index pages so often that
// writing a camera photo's row cost more than reading the photo. A batch of
// the largest size holds the catalog for a few hundred milliseconds, and a
// few megabytes of rows (a camera photo's is under two kilobytes) while the
// next one is read.
inline constexpr std::size_t firstScanBatch = 100;
inline constexpr std::size_t largestScanBatch = 4000;

// The size of the batch after one of `size` that took `took` to decide:
// twice as large after a quarter second at most, half as large after more
// than half a second, within firstScanBatch and largestScanBatch.
std::size_t nextScanBatchSize(std::size_t size, std::chrono::steady_clock::duration took);

// How a scan ended.
struct ScanOutcome {
    // Media files decided on (unchanged, moved, new or changed).
    int processed = 0;
    // False when rows of files the walk did not see had to be kept: some
    // folders could not be opened (listed below; the rows inside them were
    // kept, the others deleted), or nothing could be deleted at all because
    // a listing failed, the root could not be opened or is not the source's
    // folder. The store tells the user.
    bool complete = true;
    QStringList unopenedFolders; // relative to the root
    // Whether a row may have changed: a decision was written, or rows of
    // files the walk did not see were there to delete. A scan that changed
    // none leaves what the gallery shows as it was.
    bool changedRows = false;
    // The folder, known only by its place, holds none of the source's files:
    // nothing was written or deleted, as it may be another folder altogether.
    bool strangeFolder = false;
};

// What the caller knows of the folder a source was added as.
struct SourceFolder {
    // Its identity, when the caller knows it: a walk of another folder (an
    // empty mount point of an unplugged disk) deletes nothing.
    std::optional<FolderIdentity> identity;
    // Known by its place alone, as a folder on a share that numbers its
    // files anew at each mount: nothing of the folder vouches that it is the
    // source's, so it must hold some of the source's known files (the same
    // path, date and size) before anything of it is written or deleted. A
    // share whose disk did not mount under its export, or whose folder was
    // emptied or swapped, shows such a folder.
    bool knownByPlace = false;
};

// Brings the catalog in line with the folder at `root` for one source.
//
// Every media file is decided as unchanged (same id, date and size: never
// opened, and its row not written), moved (the same file under a new root
// path: its row, with the user's favourite, rotation and albums, follows
// it), or new or changed (inspected). Decisions are written in transactions
// of firstScanBatch and more, with `progress` after each and once at the
// end; then the rows of files the walk did not see are deleted by id. A file
// that could not be read is stored so that the next scan inspects it again.
//
// The walk and the inspection run on the worker pool and the catalog only
// gets short jobs (the fingerprints, one per batch, the deletion), so other
// callers' catalog work runs between batches. Scans of one source on one
// catalog take turns: a second one waits until the first has ended, since
// each deletes as stale what the other stamped.
//
// Deleting rows is safe only where the walk saw everything: rows inside
// folders that could not be opened are kept; a listing that failed part-way,
// a root that is another folder by the end (remounted, replaced), or a root
// that is not the folder the source was added as (`folder`, as far as the
// caller knows it) keeps every row. A folder known by its place alone that
// holds none of the source's known files is not walked into the catalog at
// all (strangeFolder). A cancelled scan throws Cancelled and writes nothing
// more, not even the batch it was building: a newer scan or the removal of
// the source owns the rows now. Catalog failures throw CatalogError; batches
// committed before stay. GUI thread only.
Task<ScanOutcome> scan(CatalogExecutor& catalog, std::shared_ptr<const MediaInspector> inspector, QUuid sourceID,
                       QString root, SourceFolder folder, ScanProgress progress, CancelToken cancel,
                       FolderWalker walker = &walkFolder);

} // namespace pivra
