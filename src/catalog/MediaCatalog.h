#pragma once

#include "catalog/model/Album.h"
#include "catalog/CatalogError.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogReaders.h"
#include "catalog/duplicates/DuplicateCandidates.h"
#include "catalog/duplicates/WrittenRows.h"
#include "catalog/GalleryScope.h"
#include "catalog/model/LocationRows.h"
#include "catalog/model/MapPhoto.h"
#include "catalog/model/MediaItem.h"
#include "catalog/scan/ScanBatch.h"
#include "catalog/model/ThumbnailStatus.h"
#include "catalog/Sqlite.h"
#include "catalog/WalCheckpointer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <optional>
#include <vector>

namespace pivra {

// The one owner of the local catalog: an SQLite file with one row per indexed
// photo or video (`media`), the user's albums (`albums`) and album membership
// (`album_media`).
//
// Every operation is a plain synchronous call that throws CatalogError. The
// connection is not thread-safe, so the program keeps the catalog inside a
// SerialExecutor (see CatalogExecutor.h), which runs one call at a time on the
// catalog's own thread; tests may also use it directly on one thread.
//
// Reads skip rows that do not map to an item instead of failing. Items are
// returned in SQLite's order and never re-sorted here: SQLite compares text by
// its bytes, and any sort of our own would disagree on some names.
// A gallery scope of at least `spreadFromRows` rows is read by several
// connections at once, each taking a range of capture dates (see
// ScopeReads.h); tests lower it to read small scopes that way.
// A scope holding less than `rulesInSqlBelowShare` of the catalog's rows has
// its duplicates decided by their rules' SQL, a few index lookups per row,
// instead of among the duplicate candidates of the whole catalog, which cost
// a pass over every row to find: a scope of a few thousand rows in a large
// catalog (the connected sources, when the rest are unplugged) is counted in
// milliseconds that way. Tests set it to 0 or 2 to take one way only.
// The write-ahead log is copied back into the file by a thread of its own
// once it holds `checkpointFromPages` pages, and by the writer itself once it
// holds `walLimitPages` (see WalCheckpointer.h); tests lower them too.
// After the catalog wrote at most `candidateUpdatesUpTo` rows, the duplicate
// candidates read those rows again instead of the whole catalog: a favourite,
// a turn or a few new files cost a few lookups, not a pass over a million
// rows; after more they are found afresh.
// A statement waits up to `lockWaitMilliseconds` for a lock another
// connection holds before it fails; a test that holds one sets 0 to see the
// failure at once.
struct CatalogTuning {
    std::int64_t spreadFromRows = 50'000;
    int checkpointFromPages = 1000;
    int walLimitPages = 16384;
    double rulesInSqlBelowShare = 1.0 / 16;
    std::size_t candidateUpdatesUpTo = 20'000;
    int lockWaitMilliseconds = sqlite::busyTimeoutMilliseconds;
    // How long opening waits for another holder of the catalog's lock file
    // (see CatalogLock) before it fails.
    int lockFileWaitMilliseconds = 0;
};

// The values of a row's thumbnail failure mark besides 0: failed in a run
// (tried again by the next full preparation), or for good (until the file
// changes and the scan clears it).
inline constexpr int thumbnailFailedOnce = 1;
inline constexpr int thumbnailFailedForGood = 2;

class MediaCatalog {
public:
    using CatalogError = pivra::CatalogError;
    using GalleryScope = pivra::GalleryScope;

    // Opens or creates the catalog and brings its schema up to date. Without
    // a path it uses defaultDatabasePath(). Throws `open` when the folder
    // cannot be created, the file cannot be opened, is another program's
    // database (left untouched) or another catalog (of this process or
    // another) holds it, `step` when a set-up statement or a migration fails.
    explicit MediaCatalog(const std::optional<QString>& databasePath = std::nullopt, CatalogTuning tuning = {});

    MediaCatalog(const MediaCatalog&) = delete;
    MediaCatalog& operator=(const MediaCatalog&) = delete;

    // "Pivra/Catalog.sqlite" in the user's data folder.
    static QString defaultDatabasePath();
    // The file this catalog opened.
    QString databasePath() const;

    static const QString& fullColumns();
    static const QString& indexColumns();

    // Gallery queries. The index and the count agree on the rows; the index
    // lists them newest first, ties by ascending id.
    std::vector<MediaItem> galleryIndex(const GalleryScope& scope);
    std::int64_t galleryCount(const GalleryScope& scope);
    // The index's first `limit` items, the same as the start of the whole
    // index: what a first screen shows, read in milliseconds.
    std::vector<MediaItem> galleryHead(const GalleryScope& scope, int limit);
    // What a scope's index depends on: the scope's rows and the state of the
    // catalog. While the stamp stays the same, the index reads the same items
    // again, so a caller holding them need not read them.
    struct GalleryStamp {
        SqlPredicate scope;
        QList<QUuid> offlineSources;
        std::pair<std::int64_t, std::int64_t> state;

        bool operator==(const GalleryStamp&) const = default;
    };
    GalleryStamp galleryStamp(const GalleryScope& scope) const;

    // The item after (direction >= 1) or before (direction <= 0) `item` in
    // gallery order within the scope. `item` itself need not match the scope.
    std::optional<MediaItem> neighbor(const MediaItem& item, int direction, const GalleryScope& scope);

    // One row by id with every column, regardless of any scope.
    std::optional<MediaItem> item(const QString& id);

    // Albums, newest created first, each with its link count and its newest
    // visible member as cover.
    QList<Album> albums();
    QUuid createAlbum(const QString& name);
    void renameAlbum(const QUuid& albumID, const QString& name);
    void deleteAlbum(const QUuid& albumID);
    // Ignored when the link exists or no item has that id; an album that does
    // not exist makes it throw `step`.
    void addToAlbum(const QUuid& albumID, const QString& mediaID);
    void removeFromAlbum(const QUuid& albumID, const QString& mediaID);

    void setFavorite(bool isFavorite, const QString& mediaID);
    // Stores the quarter turns modulo 4 (-1 becomes 3).
    void setRotation(int quarters, const QString& mediaID);
    // Stores `seconds`, how long a video's streams were measured to play, as
    // its duration where the stored one is none or longer; a longer length
    // is never taken from a file. Ignored for a photo.
    void setStreamsDuration(double seconds, const QString& mediaID);

    // Index writes. A folder scan (FolderScan.h) runs as a sequence of these
    // short calls so other callers get the catalog between its batches.
    ScanFingerprints existingFingerprints(const QUuid& sourceID);
    // Writes one batch of decisions, stamping every row it touches with
    // `token`; a batch of untouched files only writes nothing.
    void apply(const ScanBatch& batch, const QString& token);
    // Deletes the source's rows that the scan with `token` did not see,
    // except those inside `keptFolders` (relative paths of folders the scan
    // could not open).
    void deleteStale(const QUuid& sourceID, const QString& token, const QStringList& keptFolders = {});
    // The same for a folder scan, which writes nothing for unchanged files:
    // deletes by id the rows listed in `rows` (the scan's fingerprints) that
    // are not `seen` and that the scan did not write, with the same
    // exception. Writes nothing when every row was seen.
    void deleteUnseen(const QUuid& sourceID, const QString& token, const ScanFingerprints& rows,
                      const std::vector<bool>& seen, const QStringList& keptFolders);
    // Replaces the source's rows by a device's catalog, all or nothing.
    void scanCamera(const QUuid& sourceID, const std::vector<MediaItem>& items);
    void remove(const QUuid& sourceID);
    // Thumbnail keys that no row of another source carries.
    QStringList exclusiveThumbnailKeys(const QUuid& sourceID);

    // Thumbnail and preview-clip pipelines. Pages are keyset pages: pass the
    // last id of a page to get the next one; an empty page is the end.
    std::vector<MediaItem> thumbnailBatch(const QUuid& sourceID, const std::optional<QString>& afterID, int limit);
    // True when the row had no key and took this one.
    bool setThumbnailKey(const QString& key, const QString& mediaID);
    // A failure for good is one no retry can mend (a file refused for the
    // memory its decoding would take): it stays until the file changes.
    void setThumbnailFailed(const QString& mediaID, bool forGood = false);
    // Clears the failures of the source's items, except those for good.
    void retryFailedThumbnails(const QUuid& sourceID);
    QHash<QUuid, ThumbnailStatus> thumbnailStatuses();
    std::vector<MediaItem> videoPreviewCandidates(const QUuid& sourceID);

    // Location and map pipelines.
    std::vector<LocationCandidate> locationBatch(const QUuid& sourceID, const std::optional<QString>& afterID,
                                                 int limit);
    void setLocations(const std::vector<LocationUpdate>& updates);
    std::vector<MapPhoto> mapPhotos(const QList<QUuid>& excludedSources);
    // Every cell that holds a located row, whatever its source or visibility.
    std::vector<PlaceCell> placeCells();
    // Every folder below the source's root that holds an indexed file, sorted
    // as a file browser sorts names.
    QStringList indexedFolders(const QUuid& sourceID);

    // The rows read to find the duplicate candidates and keep them up to
    // date since the catalog was opened: the work the gallery's duplicate
    // rules cost, which tests and benchmarks count.
    std::int64_t duplicateCandidateRowsRead() const;

private:
    sqlite::Statement prepare(const QString& sql) const;
    sqlite::Statement prepare(const char* sql) const;

    void openDatabase(const QString& path);
    void migrate();

    // Gives back the pages a pass over a whole source or scope left in the
    // connection's cache: table pages that no statement is likely to want
    // soon, held for the program's life otherwise.
    void releasePassedPages();

    // This connection's row changes and the version of other connections'
    // commits: while both stay, the catalog is as it was. Read inside a read
    // transaction (the pragma starts its snapshot).
    using DatabaseState = std::pair<std::int64_t, std::int64_t>;
    DatabaseState databaseState() const;

    // The rows that a duplicate rule may involve, found afresh when another
    // connection changed the catalog or this one wrote many rows, and
    // brought up to date with a few rows written; every scope's count and
    // index decide among them.
    const DuplicateCandidates& duplicateCandidates(const DatabaseState& state);
    // The candidates brought up to `state`, if that takes no pass over the
    // whole catalog; none otherwise.
    const DuplicateCandidates* currentCandidates(const DatabaseState& state);

    // The last count's scope, the sources it was read from, its rows and
    // those a duplicate hides. The store runs the index right after the count
    // on the same scope; while nothing changed in between, the index skips
    // those rows as it reads and makes room for its items at once.
    struct CountedScope {
        SqlPredicate scope;
        QList<QUuid> offlineSources;
        DatabaseState state;
        std::optional<QStringList> sources;
        std::int64_t rows = 0;
        std::vector<std::int64_t> hidden; // ascending
    };

    // Counts the scope's rows, decides which a duplicate hides and keeps
    // both as lastCount_. Runs inside the caller's read transaction.
    const CountedScope& countScope(const GalleryScope& scope, SqlPredicate where, const DatabaseState& state);

    // The rows of the scope, read from `sources`, that the duplicate rules'
    // SQL hides, ascending.
    std::vector<std::int64_t> hiddenBySql(const GalleryScope& scope, const std::optional<QStringList>& sources) const;

    // The capture dates at which the counted scope's index is cut to be read
    // on several connections; none to read it in one statement.
    std::vector<double> spreadCuts(const GalleryScope& scope, const CountedScope& counted) const;

    CatalogTuning tuning_;
    // Declared before the connections, so the connections close first.
    std::optional<CatalogLock> lock_;
    sqlite::Connection db_;
    std::optional<WalCheckpointer> checkpointer_;
    std::optional<CatalogReaders> readers_;
    // The candidates, with the other connections' version they were read
    // at and this connection's changes they hold.
    struct KnownCandidates {
        std::int64_t dataVersion = 0;
        std::int64_t changes = 0;
        DuplicateCandidates set;
    };
    std::optional<KnownCandidates> candidates_;
    std::int64_t earlierCandidateRowsRead_ = 0;
    // The rows this connection wrote since the candidates were read or last
    // brought up to date. Declared after the connection, so it goes first.
    std::optional<WrittenRows> written_;
    std::optional<CountedScope> lastCount_;
};

} // namespace pivra
