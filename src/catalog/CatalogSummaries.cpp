#include "catalog/CatalogSummaries.h"

#include "catalog/CatalogReaders.h"
#include "catalog/GalleryScope.h"
#include "catalog/model/Uuid.h"

#include <QCollator>
#include <QLocale>
#include <QSet>

#include <algorithm>

namespace pivra {

CatalogSummaries::CatalogSummaries(const QString& path) : db_(openReadingConnection(path)) {}

QHash<QUuid, ThumbnailStatus> CatalogSummaries::thumbnailStatuses()
{
    return readThumbnailStatuses(db_.get());
}

QStringList CatalogSummaries::indexedFolders(const QUuid& sourceID)
{
    return readIndexedFolders(db_.get(), sourceID);
}

QHash<QUuid, ThumbnailStatus> CatalogSummaries::readThumbnailStatuses(sqlite3* db)
{
    sqlite::Statement statement(
        db, QStringLiteral("SELECT source_id, COUNT(*), COUNT(thumbnail_key), SUM(CASE WHEN thumbnail_key IS NULL AND "
                       "thumbnail_failed=0 THEN 1 ELSE 0 END), SUM(thumbnail_failed<>0) FROM media WHERE ")
        + GalleryScope::visible(QStringLiteral("media")) + QStringLiteral(" AND width>0 AND height>0 GROUP BY source_id"));
    QHash<QUuid, ThumbnailStatus> statuses;
    while (statement.nextRow()) {
        const std::optional<QString> sourceText = statement.text(0);
        const std::optional<QUuid> source = sourceText ? parseUuid(*sourceText) : std::nullopt;
        if (!source) {
            continue;
        }
        statuses.insert(*source, ThumbnailStatus{static_cast<int>(statement.int64(1)),
                                                 static_cast<int>(statement.int64(2)),
                                                 static_cast<int>(statement.int64(3)),
                                                 static_cast<int>(statement.int64(4))});
    }
    return statuses;
}

QStringList CatalogSummaries::readIndexedFolders(sqlite3* db, const QUuid& sourceID)
{
    sqlite::Statement statement(db, "SELECT relative_path FROM media WHERE source_id=? AND relative_path IS NOT NULL");
    statement.bindUuid(1, sourceID);
    QSet<QString> folders;
    while (statement.nextRow()) {
        const QStringList pieces = statement.text(0).value_or(QString()).split(u'/', Qt::SkipEmptyParts);
        QString folder;
        for (qsizetype index = 0; index + 1 < pieces.size(); ++index) {
            folder = index == 0 ? pieces[index] : folder + u'/' + pieces[index];
            folders.insert(folder);
        }
    }
    QStringList sorted(folders.begin(), folders.end());
    // The order of a file browser: the user's language, numbers by value. The
    // C locale has no collation of its own and would compare plain code
    // points, so a system without a language set sorts as US English.
    const QLocale system = QLocale::system();
    QCollator collator{system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(sorted.begin(), sorted.end(), collator);
    return sorted;
}

} // namespace pivra
