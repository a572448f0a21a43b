#include "catalog/CatalogRows.h"

#include "catalog/Sqlite.h"
#include "catalog/Uuid.h"

#include <array>
#include <string>
#include <string_view>

namespace pivra {

namespace {

constexpr QLatin1StringView motionPathColumn(
    "(SELECT motion.path FROM media AS motion WHERE motion.source_id=media.source_id AND motion.kind='video' "
    "AND motion.live_identifier=media.live_identifier LIMIT 1)");

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

// The few date labels that nearly every row repeats are shared instead of
// copied into a million separate strings.
QString dateOriginText(const sqlite::Statement& row)
{
    static const std::array<QString, 6> labels = {
        QStringLiteral("EXIF capture"),  QStringLiteral("Video metadata"), QStringLiteral("File creation"),
        QStringLiteral("File modification"), QStringLiteral("iPhone"),     QStringLiteral("File date"),
    };
    if (row.isNull(dateOriginColumn)) {
        return labels.back(); // "File date": the row holds no label
    }
    const std::string_view raw = row.bytes(dateOriginColumn);
    for (const QString& label : labels) {
        if (raw.size() == static_cast<std::size_t>(label.size()) && QLatin1StringView(raw.data(), raw.size()) == label) {
            return label;
        }
    }
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
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
    for (const int required : {idColumn, sourceColumn, pathColumn, nameColumn, kindColumn}) {
        if (row.isNull(required)) {
            return std::nullopt;
        }
    }
    const std::optional<MediaKind> kind = kindFromBytes(row.bytes(kindColumn));
    if (!kind) {
        return std::nullopt;
    }
    const std::optional<QUuid> sourceID = sourceFromBytes(row.bytes(sourceColumn));
    if (!sourceID) {
        return std::nullopt;
    }

    MediaItem item;
    item.id = *row.text(idColumn);
    item.sourceID = *sourceID;
    item.path = *row.text(pathColumn);
    item.name = *row.text(nameColumn);
    item.kind = *kind;
    item.captureDate = row.real(capturedColumn);
    item.dateOrigin = dateOriginText(row);
    item.width = row.int32(widthColumn);
    item.height = row.int32(heightColumn);
    item.camera = row.text(cameraColumn);
    item.lens = row.text(lensColumn);
    item.duration = row.optionalReal(durationColumn);
    item.fileSize = row.int64(fileSizeColumn);
    item.modifiedAt = row.real(modifiedColumn);
    item.metadataJSON = row.text(metadataColumn);
    item.rotationQuarters = row.int32(rotationColumn);
    item.isFavorite = row.int32(favoriteColumn) != 0;
    item.thumbnailKey = row.text(thumbnailKeyColumn);
    item.liveIdentifier = row.text(liveIdentifierColumn);
    if (item.kind == MediaKind::image) {
        item.liveVideoPath = row.text(motionPathColumnIndex); // a video is never its own motion half
    }
    return item;
}

} // namespace pivra
