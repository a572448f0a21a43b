#pragma once

#include "catalog/model/ThumbnailStatus.h"
#include "catalog/Sqlite.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUuid>

struct sqlite3;

namespace pivra {

// What the sidebar and the storage view show of each source, summed up from
// the catalog: its thumbnail counts and the folders that hold its files.
// Each read walks every row of a source or of the whole catalog, which takes
// seconds for a large library on a cold disk, so the store reads them
// through a read-only connection of their own, on a thread of their own:
// the gallery's reads, on the catalog's thread, never queue behind them,
// whatever comes first at start-up.
class CatalogSummaries {
public:
    // Opens a read-only connection to the catalog file at `path`; throws
    // `open` when it cannot.
    explicit CatalogSummaries(const QString& path);

    QHash<QUuid, ThumbnailStatus> thumbnailStatuses();
    QStringList indexedFolders(const QUuid& sourceID);

    // Per source: the visible items with dimensions, those with a
    // thumbnail, those still waiting for one and those whose thumbnail
    // failed.
    static QHash<QUuid, ThumbnailStatus> readThumbnailStatuses(sqlite3* db);
    // Every folder below the source's root that holds an indexed file,
    // sorted as a file browser sorts names.
    static QStringList readIndexedFolders(sqlite3* db, const QUuid& sourceID);

private:
    sqlite::Connection db_;
};

} // namespace pivra
