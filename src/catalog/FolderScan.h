#pragma once

#include "catalog/CatalogExecutor.h"
#include "catalog/FolderWalk.h"
#include "catalog/MediaInspector.h"
#include "platform/CancelToken.h"
#include "platform/Task.h"

#include <QString>
#include <QUuid>
#include <functional>
#include <memory>

namespace pivra {

// Receives the number of files decided so far, on the GUI thread.
using ScanProgress = std::function<void(int processed)>;

// How the scan lists a folder; walkFolder() but in tests.
using FolderWalker = FolderWalk (*)(const QString& root, const CancelToken& cancel);

// Files decided per transaction.
inline constexpr std::size_t scanBatchSize = 100;

// Brings the catalog in line with the folder at `root` for one source, and
// answers how many media files it decided on.
//
// Every media file is decided as unchanged (same id, date and size: never
// opened), moved (the same file under a new root path: its row, with the
// user's favourite, rotation and albums, follows it), or new or changed
// (inspected). Decisions are written in transactions of scanBatchSize, with
// `progress` after each and once at the end; then the rows of files the walk
// did not see are deleted.
//
// The walk and the inspection run on the worker pool and the catalog only
// gets short jobs (the fingerprints, one per batch, the deletion), so other
// callers' catalog work runs between batches.
//
// Deleting rows is safe only when the walk saw everything: a folder that could
// not be read, a disk that went away, or a root that is another folder by the
// end (remounted, replaced) keeps every row. A cancelled scan throws Cancelled
// and writes nothing more, not even the batch it was building: a newer scan
// or the removal of the source owns the rows now. Catalog failures throw
// CatalogError; batches committed before stay.
Task<int> scan(CatalogExecutor& catalog, std::shared_ptr<const MediaInspector> inspector, QUuid sourceID,
               QString root, ScanProgress progress, CancelToken cancel, FolderWalker walker = &walkFolder);

} // namespace pivra
