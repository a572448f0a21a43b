#pragma once

#include "catalog/scan/FolderWalk.h"
#include "catalog/scan/MediaInspector.h"
#include "catalog/scan/ScanBatch.h"
#include "platform/runtime/CancelToken.h"

#include <QUuid>
#include <cstddef>
#include <memory>

namespace pivra {

// What one scan decides with: the catalog's fingerprints, the walk, and the
// root prefixes a row must lie outside of to be taken for a moved file.
struct ScanInputs {
    QUuid sourceID;
    std::shared_ptr<const MediaInspector> inspector;
    std::shared_ptr<const ScanFingerprints> fingerprints;
    std::shared_ptr<const FolderWalk> walk;
    QStringList rootPrefixes; // the root as given and resolved, each ending in "/"
};

struct DecidedBatch {
    ScanBatch batch;
    std::size_t next = 0; // the walk's next file; its size when the walk is used up
};

// Whether the walk found one of the source's known files: a file at the
// path of one of its rows, with that row's date and size, as the file it
// was (its name alone could be another camera's IMG_0001.JPG). Rows to be
// inspected again know no date and size, and count for none. Reads nothing
// of the disk. Throws Cancelled when `cancel` is set.
bool holdsKnownFile(const ScanInputs& inputs, const CancelToken& cancel);

// Decides the walk's files from `first` on until `batchSize` decisions are
// made or the files run out; files that are not media are passed over.
// Inspections and Live Photo look-ups of the batch run on up to
// `parallelReads` threads; the decisions and their order do not depend on it.
// Blocks on the disk. Throws Cancelled when `cancel` is set before a file.
DecidedBatch decideBatch(const ScanInputs& inputs, std::size_t first, std::size_t batchSize, int parallelReads,
                         const CancelToken& cancel);

} // namespace pivra
