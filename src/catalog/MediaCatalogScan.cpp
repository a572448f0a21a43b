// Index writes: the building blocks of a folder scan, a device's catalog
// replacing its rows, and the removal of a source.
#include "catalog/MediaCatalog.h"

#include "catalog/model/Uuid.h"
#include "platform/folders/FileNameText.h"

namespace pivra {

namespace {

// Changed files are inspected afresh: their favourite, rotation and album
// links stay, while the thumbnail, its failure mark and the location belong
// to the old content and are prepared again; a file nothing may decode gets
// its failure mark for good right away.
constexpr const char* upsertChangedFile =
    "INSERT INTO media\n"
    "(id,source_id,path,name,kind,captured,date_origin,width,height,camera,lens,duration,file_size,modified,"
    "scan_token,metadata_json,relative_path,inspection_version,live_identifier,live_checked,thumbnail_failed)\n"
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,1,?,1,?)\n"
    "ON CONFLICT(id) DO UPDATE SET\n"
    "source_id=excluded.source_id,path=excluded.path,relative_path=excluded.relative_path,name=excluded.name,\n"
    "kind=excluded.kind,captured=excluded.captured,date_origin=excluded.date_origin,\n"
    "width=excluded.width,height=excluded.height,camera=excluded.camera,\n"
    "lens=excluded.lens,duration=excluded.duration,file_size=excluded.file_size,\n"
    "modified=excluded.modified,scan_token=excluded.scan_token,\n"
    "metadata_json=excluded.metadata_json,\n"
    "live_identifier=excluded.live_identifier,live_checked=1,\n"
    "inspection_version=excluded.inspection_version,\n"
    "thumbnail_key=NULL,thumbnail_failed=excluded.thumbnail_failed,\n"
    "latitude=NULL,longitude=NULL,location_checked=0";

// A device row keeps its thumbnail only while the device reports the same
// date and size; what the user set (favourite, rotation) is never touched.
constexpr const char* upsertDeviceFile =
    "INSERT INTO media\n"
    "(id,source_id,path,name,kind,captured,date_origin,width,height,camera,duration,file_size,modified,scan_token,"
    "metadata_json,inspection_version,live_checked)\n"
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?, '{}',1,1)\n"
    "ON CONFLICT(id) DO UPDATE SET\n"
    "path=excluded.path,name=excluded.name,kind=excluded.kind,captured=excluded.captured,\n"
    "date_origin=excluded.date_origin,width=excluded.width,height=excluded.height,\n"
    "camera=excluded.camera,duration=excluded.duration,file_size=excluded.file_size,\n"
    "modified=excluded.modified,scan_token=excluded.scan_token,\n"
    "thumbnail_key=CASE WHEN media.modified=excluded.modified AND media.file_size=excluded.file_size\n"
    "THEN media.thumbnail_key ELSE NULL END,\n"
    "thumbnail_failed=CASE WHEN media.modified=excluded.modified AND media.file_size=excluded.file_size\n"
    "THEN media.thumbnail_failed ELSE 0 END";

// Both upserts start with the same ten columns, id to camera.
void bindLeadingColumns(sqlite::Statement& upsert, const QUuid& sourceID, const MediaItem& item)
{
    upsert.resetForReuse();
    upsert.bindText(1, item.id());
    upsert.bindUuid(2, sourceID);
    upsert.bindText(3, item.path());
    upsert.bindText(4, item.name());
    upsert.bindText(5, rawValue(item.kind()));
    upsert.bindDouble(6, item.captureDate());
    upsert.bindText(7, item.dateOrigin());
    upsert.bindInt(8, item.width());
    upsert.bindInt(9, item.height());
    upsert.bindText(10, item.camera());
}

void bindChangedFile(sqlite::Statement& upsert, const ScanBatch::Changed& changed, const QString& token)
{
    const MediaItem& item = changed.item;
    bindLeadingColumns(upsert, item.sourceID(), item);
    upsert.bindText(11, item.lens());
    upsert.bindDouble(12, item.duration());
    upsert.bindInt64(13, item.fileSize());
    upsert.bindDouble(14, item.modifiedAt());
    upsert.bindText(15, token);
    if (changed.fileRead) {
        upsert.bindText(16, item.metadataJSON().value_or(QStringLiteral("{}")));
    } else {
        upsert.bindNull(16); // not inspected: the fingerprints leave it out, so the next scan reads it
    }
    upsert.bindText(17, changed.relative);
    upsert.bindText(18, item.liveIdentifier());
    upsert.bindInt(19, changed.decodable ? 0 : thumbnailFailedForGood);
}

void bindDeviceFile(sqlite::Statement& upsert, const QUuid& sourceID, const MediaItem& item, const QString& token)
{
    bindLeadingColumns(upsert, sourceID, item);
    upsert.bindDouble(11, item.duration());
    upsert.bindInt64(12, item.fileSize());
    upsert.bindDouble(13, item.modifiedAt());
    upsert.bindText(14, token);
}

} // namespace

ScanFingerprints MediaCatalog::existingFingerprints(const QUuid& sourceID)
{
    // Only fully inspected rows (metadata text, the current inspection) can
    // be unchanged; the others are listed only to be deleted when unseen.
    sqlite::Statement statement = prepare("SELECT id, modified, file_size, relative_path, live_checked, "
                                          "metadata_json IS NOT NULL AND inspection_version IS 1 FROM media "
                                          "WHERE source_id=?");
    statement.bindUuid(1, sourceID);
    ScanFingerprints::Builder fingerprints;
    // A read that stopped half-way would make the rest look new and have
    // them inspected again, losing their thumbnails and locations: fail.
    while (statement.nextRowChecked()) {
        const std::optional<std::string_view> id = statement.optionalBytes(0);
        if (!id) {
            continue;
        }
        if (statement.int32(5) == 0) {
            fingerprints.addToInspect(*id);
            continue;
        }
        // A row without a relative path (NULL) reads as empty: found by id only.
        fingerprints.add(*id, statement.bytes(3), {statement.real(1), statement.int64(2), statement.int32(4) != 0});
    }
    releasePassedPages();
    return std::move(fingerprints).build();
}

void MediaCatalog::apply(const ScanBatch& batch, const QString& token)
{
    if (batch.writesNothing()) {
        return;
    }
    const sqlite::WritingCache cache(db_.get());
    sqlite::Transaction transaction(db_.get());
    sqlite::Statement unchanged = prepare("UPDATE media SET scan_token=?,relative_path=? WHERE id=?");
    sqlite::Statement relocated = prepare("UPDATE media SET id=?,path=?,relative_path=?,scan_token=? WHERE id=?");
    sqlite::Statement live = prepare("UPDATE media SET live_identifier=?,live_checked=1 WHERE id=?");
    sqlite::Statement changed = prepare(upsertChangedFile);

    for (const ScanBatch::Unchanged& entry : batch.unchanged) {
        unchanged.resetForReuse();
        unchanged.bindText(1, token);
        unchanged.bindText(2, entry.relative);
        unchanged.bindText(3, entry.id);
        unchanged.run();
    }
    for (const ScanBatch::Relocated& entry : batch.relocated) {
        relocated.resetForReuse();
        relocated.bindText(1, entry.newID);
        relocated.bindText(2, entry.path);
        relocated.bindText(3, entry.relative);
        relocated.bindText(4, token);
        relocated.bindText(5, entry.oldID);
        relocated.run();
    }
    for (const ScanBatch::Changed& entry : batch.changed) {
        bindChangedFile(changed, entry, token);
        changed.run();
    }
    for (const ScanBatch::LiveUpdate& entry : batch.liveUpdates) {
        live.resetForReuse();
        live.bindText(1, entry.identifier);
        live.bindText(2, entry.id);
        live.run();
    }
    transaction.commit();
}

namespace {

// Spares the rows inside folders a walk could not open, given as one JSON
// array instead of a clause per folder: a disk can hold more unreadable
// folders than SQLite allows parameters or nested terms. A row without a
// relative path may lie anywhere, so it stays too.
QString keptFoldersClause()
{
    return QStringLiteral(" AND relative_path IS NOT NULL AND NOT EXISTS (SELECT 1 FROM json_each(?) AS kept WHERE ")
         + insideFolder(QStringLiteral("media.relative_path"), QStringLiteral("kept.value"),
                        QStringLiteral("kept.value||'/'"))
         + u')';
}

// Written here rather than by Qt: a folder whose name is not UTF-8 must reach
// json_each as the bytes its rows hold, which JSON's escapes cannot spell,
// and SQLite takes such bytes inside a string as they are.
QByteArray keptFoldersJSON(const QStringList& keptFolders)
{
    QByteArray json("[");
    for (const QString& folder : keptFolders) {
        json += json.size() > 1 ? ",\"" : "\"";
        for (const char byte : fileNameBytes(folder)) {
            if (byte == '"' || byte == '\\') {
                json += '\\';
                json += byte;
            } else if (static_cast<unsigned char>(byte) < 0x20) {
                json += "\\u00" + QByteArray::number(static_cast<int>(byte), 16).rightJustified(2, '0');
            } else {
                json += byte;
            }
        }
        json += '"';
    }
    return json + ']';
}

} // namespace

void MediaCatalog::deleteStale(const QUuid& sourceID, const QString& token, const QStringList& keptFolders)
{
    QString sql = QStringLiteral("DELETE FROM media WHERE source_id=? AND scan_token<>?");
    if (!keptFolders.isEmpty()) {
        sql += keptFoldersClause();
    }
    sqlite::Statement statement = prepare(sql);
    statement.bindUuid(1, sourceID);
    statement.bindText(2, token);
    if (!keptFolders.isEmpty()) {
        statement.bindBytes(3, keptFoldersJSON(keptFolders));
    }
    statement.run();
}

void MediaCatalog::deleteUnseen(const QUuid& sourceID, const QString& token, const ScanFingerprints& rows,
                                const std::vector<bool>& seen, const QStringList& keptFolders)
{
    std::uint32_t row = 0;
    const auto nextUnseen = [&] {
        while (row < rows.rowCount() && seen[row]) {
            ++row;
        }
        return row < rows.rowCount();
    };
    if (!nextUnseen()) {
        return; // the usual rescan: every row was seen, nothing to write
    }
    // A row the scan wrote carries its token; only the others are gone.
    QString sql = QStringLiteral("DELETE FROM media WHERE id=? AND source_id=? AND scan_token<>?");
    if (!keptFolders.isEmpty()) {
        sql += keptFoldersClause();
    }
    const QByteArray kept = keptFolders.isEmpty() ? QByteArray() : keptFoldersJSON(keptFolders);
    const sqlite::WritingCache cache(db_.get());
    sqlite::Transaction transaction(db_.get());
    sqlite::Statement statement = prepare(sql);
    for (; nextUnseen(); ++row) {
        statement.resetForReuse();
        statement.bindText(1, rows.idAt(row));
        statement.bindUuid(2, sourceID);
        statement.bindText(3, token);
        if (!keptFolders.isEmpty()) {
            statement.bindBytes(4, kept);
        }
        statement.run();
    }
    transaction.commit();
}

void MediaCatalog::scanCamera(const QUuid& sourceID, const std::vector<MediaItem>& items)
{
    const QString token = uuidString(QUuid::createUuid());
    const sqlite::WritingCache cache(db_.get());
    sqlite::Transaction transaction(db_.get());
    {
        sqlite::Statement upsert = prepare(upsertDeviceFile);
        for (const MediaItem& item : items) {
            bindDeviceFile(upsert, sourceID, item, token);
            upsert.run();
        }
    }
    deleteStale(sourceID, token);
    transaction.commit();
}

void MediaCatalog::remove(const QUuid& sourceID)
{
    const sqlite::WritingCache cache(db_.get());
    sqlite::Statement statement = prepare("DELETE FROM media WHERE source_id=?");
    statement.bindUuid(1, sourceID);
    statement.run();
}

QStringList MediaCatalog::exclusiveThumbnailKeys(const QUuid& sourceID)
{
    sqlite::Statement statement =
        prepare("SELECT DISTINCT thumbnail_key FROM media WHERE source_id=?1 AND thumbnail_key IS NOT NULL\n"
                "AND NOT EXISTS (SELECT 1 FROM media AS other WHERE other.thumbnail_key=media.thumbnail_key "
                "AND other.source_id<>?1)");
    statement.bindUuid(1, sourceID);
    QStringList keys;
    while (statement.nextRow()) {
        if (std::optional<QString> key = statement.text(0)) {
            keys.append(std::move(*key));
        }
    }
    return keys;
}

} // namespace pivra
