#include "catalog/CatalogRows.h"

#include "catalog/Sqlite.h"
#include "catalog/model/Uuid.h"

#include <string>
#include <string_view>

namespace pivra {

namespace {

// The path of a Live Photo's motion video. Only a still with an identifier
// can have one (a video's column is never read), so other rows skip the
// lookup: run for every row, it took a quarter of a gallery's read.
constexpr QLatin1StringView motionPathColumn(
    "CASE WHEN media.kind='image' AND media.live_identifier IS NOT NULL THEN "
    "(SELECT motion.path FROM media AS motion WHERE motion.source_id=media.source_id AND motion.kind='video' "
    "AND motion.live_identifier=media.live_identifier LIMIT 1) END");

enum Column {
    idColumn,
    sourceColumn,
    pathColumn,
    nameColumn,
    kindColumn,
    capturedColumn,
    dateOriginColumn,
    widthColumn,
    heightColumn,
    cameraColumn,
    lensColumn,
    durationColumn,
    fileSizeColumn,
    modifiedColumn,
    metadataColumn,
    rotationColumn,
    thumbnailKeyColumn,
    liveIdentifierColumn,
    motionPathColumnIndex,
    favoriteColumn,
};

std::optional<MediaKind> kindFromBytes(std::string_view raw)
{
    if (raw == "image") {
        return MediaKind::image;
    }
    if (raw == "video") {
        return MediaKind::video;
    }
    return std::nullopt;
}

// Rows come grouped by source far more often than not, so the last source
// text read is parsed once for all its rows.
std::optional<QUuid> sourceFromBytes(std::string_view raw)
{
    thread_local std::string lastText;
    thread_local std::optional<QUuid> lastSource;
    if (raw != lastText) {
        lastText.assign(raw);
        lastSource = parseUuid(QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size())));
    }
    return lastSource;
}

} // namespace

const QString& fullColumns()
{
    static const QString columns =
        QStringLiteral("id,source_id,path,name,kind,captured,date_origin,width,height,camera,lens,duration,file_size,"
                       "modified,metadata_json,rotation_quarters,thumbnail_key,live_identifier,")
        + motionPathColumn + QStringLiteral(",is_favorite");
    return columns;
}

const QString& indexColumns()
{
    static const QString columns =
        QStringLiteral("id,source_id,path,name,kind,captured,date_origin,width,height,NULL,NULL,duration,file_size,"
                       "modified,NULL,rotation_quarters,thumbnail_key,live_identifier,")
        + motionPathColumn + QStringLiteral(",is_favorite");
    return columns;
}

std::optional<MediaItem> readItem(const sqlite::Statement& row)
{
    const std::optional<std::string_view> kindText = row.optionalBytes(kindColumn);
    const std::optional<std::string_view> sourceText = row.optionalBytes(sourceColumn);
    if (!kindText || !sourceText) {
        return std::nullopt;
    }
    const std::optional<MediaKind> kind = kindFromBytes(*kindText);
    if (!kind) {
        return std::nullopt;
    }
    const std::optional<QUuid> sourceID = sourceFromBytes(*sourceText);
    if (!sourceID) {
        return std::nullopt;
    }
    const auto text = [&row](int column) -> MediaItem::OptionalText {
        if (const std::optional<std::string_view> utf8 = row.optionalBytes(column)) {
            return QUtf8StringView(utf8->data(), qsizetype(utf8->size()));
        }
        return std::nullopt;
    };
    const MediaItem::OptionalText id = text(idColumn);
    const MediaItem::OptionalText path = text(pathColumn);
    const MediaItem::OptionalText name = text(nameColumn);
    if (!id || !path || !name) {
        return std::nullopt;
    }
    return MediaItem(*id, *sourceID, *path, *name, *kind, row.real(capturedColumn),
                     text(dateOriginColumn).value_or(QUtf8StringView("File date")), row.int32(widthColumn), row.int32(heightColumn),
                     text(cameraColumn), text(lensColumn), row.optionalReal(durationColumn),
                     row.int64(fileSizeColumn), row.real(modifiedColumn), text(metadataColumn),
                     row.int32(rotationColumn), row.int32(favoriteColumn) != 0, text(thumbnailKeyColumn),
                     text(liveIdentifierColumn),
                     // A video is never its own motion half, whatever the column holds.
                     *kind == MediaKind::image ? text(motionPathColumnIndex) : std::nullopt);
}

} // namespace pivra
