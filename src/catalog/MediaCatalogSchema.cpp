// Opening the catalog: the connection's settings, the schema and its
// migrations. Nothing records a schema version: every open runs the same
// idempotent statements, which bring any earlier database up to date.
#include "catalog/MediaCatalog.h"

#include "catalog/CatalogRows.h"
#include "catalog/model/CellKey.h"

#include <QDir>
#include <QStringList>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <algorithm>

namespace pivra {

namespace {

constexpr const char* createMediaTable = R"(CREATE TABLE IF NOT EXISTS media (
    id TEXT PRIMARY KEY,
    source_id TEXT NOT NULL,
    path TEXT NOT NULL,
    relative_path TEXT,
    name TEXT NOT NULL,
    kind TEXT NOT NULL,
    captured REAL NOT NULL,
    date_origin TEXT NOT NULL,
    width INTEGER NOT NULL,
    height INTEGER NOT NULL,
    camera TEXT,
    lens TEXT,
    duration REAL,
    file_size INTEGER NOT NULL,
    modified REAL NOT NULL,
    scan_token TEXT NOT NULL,
    metadata_json TEXT,
    rotation_quarters INTEGER NOT NULL DEFAULT 0,
    is_favorite INTEGER NOT NULL DEFAULT 0,
    thumbnail_key TEXT,
    thumbnail_failed INTEGER NOT NULL DEFAULT 0,
    live_identifier TEXT,
    live_checked INTEGER NOT NULL DEFAULT 0,
    inspection_version INTEGER NOT NULL DEFAULT 0
))";

// Marks a file as a catalog of Pivra ("Pivr") in its header.
constexpr int applicationID = 0x50697672;

constexpr const char* connectionSettings[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=NORMAL",
    "PRAGMA foreign_keys=ON",
    createMediaTable,
};

// Columns added after the first schema. On a database that has them already
// each statement fails with "duplicate column name", harmlessly.
constexpr const char* addedColumns[] = {
    "ALTER TABLE media ADD COLUMN metadata_json TEXT",
    "ALTER TABLE media ADD COLUMN rotation_quarters INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE media ADD COLUMN is_favorite INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE media ADD COLUMN inspection_version INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE media ADD COLUMN thumbnail_key TEXT",
    "ALTER TABLE media ADD COLUMN relative_path TEXT",
    "ALTER TABLE media ADD COLUMN thumbnail_failed INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE media ADD COLUMN live_identifier TEXT",
    "ALTER TABLE media ADD COLUMN live_checked INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE media ADD COLUMN latitude REAL",
    "ALTER TABLE media ADD COLUMN longitude REAL",
    "ALTER TABLE media ADD COLUMN location_checked INTEGER NOT NULL DEFAULT 0",
};

// Each index serves one repeated query: capture order (gallery, neighbour,
// map), per-source order, favourites, each source's favourites (merged
// when sources are left out), per-source id order (keyset pages),
// thumbnail candidates, folder lookups, Live Photo pairs, the size/kind/date
// twin test, the media-key twin test, name lookups (edited copies), pending
// locations, located rows, and album links by item.
constexpr const char* schemaStatements[] = {
    "CREATE INDEX IF NOT EXISTS media_order ON media(captured DESC, id)",
    "CREATE INDEX IF NOT EXISTS media_source_order ON media(source_id, captured DESC, id)",
    "CREATE INDEX IF NOT EXISTS media_favorite_order ON media(is_favorite, captured DESC, id)",
    "CREATE INDEX IF NOT EXISTS media_source_favorites ON media(source_id, captured DESC, id) WHERE is_favorite=1",
    "CREATE INDEX IF NOT EXISTS media_source_id ON media(source_id, id)",
    "DROP INDEX IF EXISTS media_missing_thumbnails",
    "CREATE INDEX IF NOT EXISTS media_missing_thumbnails_v2 ON media(source_id, thumbnail_key, thumbnail_failed, id)",
    "CREATE INDEX IF NOT EXISTS media_source_relative ON media(source_id, relative_path)",
    "CREATE INDEX IF NOT EXISTS media_live_pair ON media(source_id, live_identifier, kind)",
    "CREATE INDEX IF NOT EXISTS media_identity ON media(file_size, kind, captured)",
    "CREATE INDEX IF NOT EXISTS media_fingerprint ON media(thumbnail_key)",
    "CREATE INDEX IF NOT EXISTS media_source_name ON media(source_id, name)",
    "CREATE INDEX IF NOT EXISTS media_location_pending ON media(source_id, id) WHERE location_checked=0",
    "CREATE INDEX IF NOT EXISTS media_located ON media(captured DESC) WHERE latitude IS NOT NULL",
    "CREATE TABLE IF NOT EXISTS albums (id TEXT PRIMARY KEY, name TEXT NOT NULL, created REAL NOT NULL)",
    R"(CREATE TABLE IF NOT EXISTS album_media (
    album_id TEXT NOT NULL REFERENCES albums(id) ON DELETE CASCADE,
    media_id TEXT NOT NULL REFERENCES media(id) ON UPDATE CASCADE ON DELETE CASCADE,
    added REAL NOT NULL,
    PRIMARY KEY(album_id, media_id)
))",
    "CREATE INDEX IF NOT EXISTS album_media_media ON album_media(media_id)",
};

// What the open file holds: a catalog marked as ours; an unmarked catalog
// (only our tables, and a media table that has the columns every version of
// the catalog had: files written before the mark) or no table at all; or
// another program's data.
enum class Holding { markedCatalog, unmarkedCatalogOrNothing, otherData };

// Reads only the header and the schema, so another program's database is
// never changed by a look at it. Throws `open` for a file that is no database.
Holding holdingOf(sqlite3* db)
{
    static const QStringList ownTables{QStringLiteral("media"), QStringLiteral("albums"), QStringLiteral("album_media")};
    static const QStringList firstColumns{QStringLiteral("id"),   QStringLiteral("source_id"),
                                          QStringLiteral("path"), QStringLiteral("kind"),
                                          QStringLiteral("captured"), QStringLiteral("scan_token")};
    try {
        sqlite::Statement mark(db, "PRAGMA application_id");
        const int found = mark.nextRowChecked() ? mark.int32(0) : 0;
        if (found != 0) {
            return found == applicationID ? Holding::markedCatalog : Holding::otherData;
        }
        QStringList tables;
        sqlite::Statement schema(db, "SELECT name FROM sqlite_schema WHERE type='table' AND name NOT LIKE 'sqlite_%'");
        while (schema.nextRowChecked()) {
            tables.append(schema.text(0).value_or(QString()));
        }
        if (tables.isEmpty()) {
            return Holding::unmarkedCatalogOrNothing;
        }
        if (!tables.contains(QStringLiteral("media"))
            || !std::all_of(tables.cbegin(), tables.cend(), [](const QString& name) { return ownTables.contains(name); })) {
            return Holding::otherData;
        }
        QStringList columns;
        sqlite::Statement media(db, "SELECT name FROM pragma_table_info('media')");
        while (media.nextRowChecked()) {
            columns.append(media.text(0).value_or(QString()));
        }
        return std::all_of(firstColumns.cbegin(), firstColumns.cend(),
                           [&](const QString& column) { return columns.contains(column); })
                 ? Holding::unmarkedCatalogOrNothing
                 : Holding::otherData;
    } catch (const CatalogError&) {
        throw CatalogError(CatalogError::Kind::open);
    }
}

} // namespace

MediaCatalog::MediaCatalog(const std::optional<QString>& databasePath, CatalogTuning tuning) : tuning_(tuning)
{
    const QString path = databasePath.value_or(defaultDatabasePath());
    openDatabase(path);
    migrate();
    checkpointer_.emplace(db_.get(), path, tuning.checkpointFromPages, tuning.walLimitPages);
    readers_.emplace(path);
    written_.emplace(db_.get(), tuning.candidateUpdatesUpTo);
}

QString MediaCatalog::defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
         + QStringLiteral("/Pivra/Catalog.sqlite");
}

QString MediaCatalog::databasePath() const
{
    return QFile::decodeName(sqlite3_db_filename(db_.get(), "main"));
}

const QString& MediaCatalog::fullColumns()
{
    return pivra::fullColumns();
}

const QString& MediaCatalog::indexColumns()
{
    return pivra::indexColumns();
}

void MediaCatalog::openDatabase(const QString& path)
{
    // SQLite counts every allocation under one process-wide mutex unless told
    // not to before its first use; a read spread over several connections
    // would queue on it.
    static const bool uncounted = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(uncounted);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        throw CatalogError(CatalogError::Kind::open);
    }
    lock_.emplace(path, tuning_.lockFileWaitMilliseconds);
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &opened,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(opened); // closed by the deleter also when opening failed
    if (result != SQLITE_OK) {
        throw CatalogError(CatalogError::Kind::open);
    }
    sqlite3_busy_timeout(db_.get(), tuning_.lockWaitMilliseconds);
    if (!registerCellKeyFunction(db_.get())) {
        throw CatalogError(CatalogError::Kind::open);
    }
    // Another program's database at the catalog's place is left exactly as it
    // is: no journal mode, no table, no mark.
    const Holding holding = holdingOf(db_.get());
    if (holding == Holding::otherData) {
        throw CatalogError(CatalogError::Kind::open);
    }
    for (const char* statement : connectionSettings) {
        sqlite::exec(db_.get(), statement);
    }
    sqlite::setPageCache(db_.get(), sqlite::readingCacheKiB);
    // Marked once: an open that finds the catalog up to date writes nothing,
    // so it never waits for another connection's write.
    if (holding != Holding::markedCatalog) {
        sqlite::exec(db_.get(), QByteArray("PRAGMA application_id=" + QByteArray::number(applicationID)).constData());
    }
}

void MediaCatalog::migrate()
{
    for (const char* statement : addedColumns) {
        sqlite::addColumn(db_.get(), statement);
    }
    for (const char* statement : schemaStatements) {
        sqlite::exec(db_.get(), statement);
    }
}

void MediaCatalog::releasePassedPages()
{
    sqlite3_db_release_memory(db_.get());
}

sqlite::Statement MediaCatalog::prepare(const QString& sql) const
{
    return sqlite::Statement(db_.get(), sql);
}

sqlite::Statement MediaCatalog::prepare(const char* sql) const
{
    return sqlite::Statement(db_.get(), sql);
}

} // namespace pivra
