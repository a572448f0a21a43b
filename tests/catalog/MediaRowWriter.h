#pragma once

// Writes catalog rows straight into a catalog file through a connection of
// its own, for tests and benchmarks. The scan that normally writes rows is
// not what these tests are about, and raw rows can also hold what no scan
// would write (a bad kind, a malformed source).
#include "catalog/model/CellKey.h"
#include "catalog/model/MediaItem.h"
#include "catalog/Sqlite.h"
#include "catalog/model/Uuid.h"

#include <QString>
#include <QUuid>
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace pivra::test {

struct MediaRow {
    QString sourceID;                     // text, so a test can store a malformed one
    QString path;
    std::optional<QString> id;            // default: the source, ":" and the path
    std::optional<QString> relativePath;
    std::optional<QString> name;
    QString kind = QStringLiteral("image");
    Timestamp captured = 1'600'000'000.0;
    std::optional<QString> dateOrigin = QStringLiteral("EXIF capture");
    int width = 4032;
    int height = 3024;
    std::optional<QString> camera;
    std::optional<QString> lens;
    std::optional<double> duration;
    std::int64_t fileSize = 1'000'000;
    Timestamp modified = 1'600'000'100.0;
    std::optional<QString> metadataJSON = QStringLiteral("{}");
    int rotationQuarters = 0;
    bool isFavorite = false;
    std::optional<QString> thumbnailKey;
    std::optional<QString> liveIdentifier;
    std::optional<double> latitude;
    std::optional<double> longitude;

    QString itemID() const { return id.value_or(sourceID + u':' + path); }
};

// A folder row of `source` at `relativePath` below the root "/photos".
inline MediaRow folderRow(const QUuid& source, const QString& relativePath, const QString& kind = QStringLiteral("image"))
{
    MediaRow row;
    row.sourceID = uuidString(source);
    row.path = QStringLiteral("/photos/") + relativePath;
    row.relativePath = relativePath;
    row.name = relativePath.section(u'/', -1);
    row.kind = kind;
    if (kind == u"video") {
        row.duration = 3.5;
    }
    return row;
}

class MediaRowWriter {
public:
    explicit MediaRowWriter(const QString& databasePath) : db_(open(databasePath)), insert_(db_.get(), insertSql) {}

    void insert(const MediaRow& row)
    {
        insert_.resetForReuse();
        int index = 1;
        insert_.bindText(index++, row.itemID());
        insert_.bindText(index++, row.sourceID);
        insert_.bindText(index++, row.path);
        insert_.bindText(index++, row.relativePath);
        insert_.bindText(index++, row.name);
        insert_.bindText(index++, row.kind);
        insert_.bindDouble(index++, row.captured);
        insert_.bindText(index++, row.dateOrigin);
        insert_.bindInt(index++, row.width);
        insert_.bindInt(index++, row.height);
        insert_.bindText(index++, row.camera);
        insert_.bindText(index++, row.lens);
        insert_.bindDouble(index++, row.duration);
        insert_.bindInt64(index++, row.fileSize);
        insert_.bindDouble(index++, row.modified);
        insert_.bindText(index++, row.metadataJSON);
        insert_.bindInt(index++, row.rotationQuarters);
        insert_.bindInt(index++, row.isFavorite ? 1 : 0);
        insert_.bindText(index++, row.thumbnailKey);
        insert_.bindText(index++, row.liveIdentifier);
        insert_.bindDouble(index++, row.latitude);
        insert_.bindDouble(index++, row.longitude);
        insert_.run();
    }

    void exec(const char* sql) { sqlite::exec(db_.get(), sql); }
    sqlite3* db() const { return db_.get(); }

private:
    static constexpr const char* insertSql =
        "INSERT INTO media(id,source_id,path,relative_path,name,kind,captured,date_origin,width,height,camera,lens,"
        "duration,file_size,modified,metadata_json,rotation_quarters,is_favorite,thumbnail_key,live_identifier,"
        "latitude,longitude,scan_token) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,'test')";

    static sqlite::Connection open(const QString& path)
    {
        sqlite3* db = nullptr;
        sqlite::Connection connection;
        const int result = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        connection.reset(db);
        if (result != SQLITE_OK) {
            throw std::runtime_error("cannot open the catalog file for test rows");
        }
        sqlite3_busy_timeout(db, 5000);
        sqlite::exec(db, "PRAGMA foreign_keys=ON");
        registerCellKeyFunction(db); // so tests can run the gallery's own SQL here
        return connection;
    }

    sqlite::Connection db_;
    sqlite::Statement insert_;
};

} // namespace pivra::test
