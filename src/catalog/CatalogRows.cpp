#include "catalog/CatalogRows.h"

#include "catalog/Sqlite.h"
#include "catalog/Uuid.h"
#include "platform/Pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
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

namespace {

// The text fields, in the order of ItemRows' spans, with their columns.
enum TextField { idText, pathText, nameText, cameraText, lensText, metadataText, keyText, liveText, motionText };
constexpr std::array<int, 9> textColumns = {idColumn,          pathColumn,           nameColumn,
                                            cameraColumn,      lensColumn,           metadataColumn,
                                            thumbnailKeyColumn, liveIdentifierColumn, motionPathColumnIndex};

// Items per batch of text: big enough that a thread's share is worth
// handing over, small enough that several threads find work in a gallery.
constexpr std::size_t batchItems = 8192;
// About what an item's text takes: a path twice (in the id), a name, a key.
constexpr std::size_t typicalTextBytes = 256;

} // namespace

std::optional<MediaItem> readItem(const sqlite::Statement& row)
{
    std::vector<MediaItem> items;
    ItemRows rows(items);
    if (!rows.add(row)) {
        return std::nullopt;
    }
    rows.finishText();
    return std::move(items.front());
}

bool ItemRows::add(const sqlite::Statement& row)
{
    const std::optional<std::string_view> kindText = row.optionalBytes(kindColumn);
    const std::optional<std::string_view> sourceText = row.optionalBytes(sourceColumn);
    if (!kindText || !sourceText) {
        return false;
    }
    const std::optional<MediaKind> kind = kindFromBytes(*kindText);
    if (!kind) {
        return false;
    }
    const std::optional<QUuid> sourceID = sourceFromBytes(*sourceText);
    if (!sourceID) {
        return false;
    }

    // The text fields are read before anything is appended: a NULL id, path
    // or name still rejects the row.
    std::array<std::optional<std::string_view>, textFields> texts;
    for (int field = 0; field < textFields; ++field) {
        // A video is never its own motion half, whatever the column holds.
        if (field != motionText || *kind == MediaKind::image) {
            texts[static_cast<std::size_t>(field)] = row.optionalBytes(textColumns[static_cast<std::size_t>(field)]);
        }
    }
    if (!texts[idText] || !texts[pathText] || !texts[nameText]) {
        return false;
    }

    if (batches_.empty() || batches_.back().spans.size() == batchItems) {
        Batch& batch = batches_.emplace_back();
        batch.firstItem = items_.size();
        const std::size_t expected = std::clamp<std::size_t>(expectedItems_ - batch.firstItem, 1, batchItems);
        batch.spans.reserve(expected);
        batch.bytes.reserve(expected * typicalTextBytes);
    }
    Batch& batch = batches_.back();
    std::array<Span, textFields>& spans = batch.spans.emplace_back();
    for (std::size_t field = 0; field < textFields; ++field) {
        if (const std::optional<std::string_view>& utf8 = texts[field]) {
            spans[field] = {static_cast<std::uint32_t>(batch.bytes.size()), static_cast<std::int32_t>(utf8->size())};
            batch.bytes.append(*utf8);
        }
    }

    MediaItem& item = items_.emplace_back();
    item.sourceID = *sourceID;
    item.kind = *kind;
    item.captureDate = row.real(capturedColumn);
    item.dateOrigin = dateOriginText(row);
    item.width = row.int32(widthColumn);
    item.height = row.int32(heightColumn);
    item.duration = row.optionalReal(durationColumn);
    item.fileSize = row.int64(fileSizeColumn);
    item.modifiedAt = row.real(modifiedColumn);
    item.rotationQuarters = row.int32(rotationColumn);
    item.isFavorite = row.int32(favoriteColumn) != 0;
    return true;
}

void ItemRows::finishBatch(Batch& batch, MediaItem* items)
{
    const auto text = [&batch](const Span& span) -> std::optional<QString> {
        if (span.length < 0) {
            return std::nullopt;
        }
        return QString::fromUtf8(batch.bytes.data() + span.offset, span.length);
    };
    for (std::size_t at = 0; at < batch.spans.size(); ++at) {
        const std::array<Span, textFields>& spans = batch.spans[at];
        MediaItem& item = items[batch.firstItem + at];
        item.id = *text(spans[idText]);
        item.path = *text(spans[pathText]);
        item.name = *text(spans[nameText]);
        item.camera = text(spans[cameraText]);
        item.lens = text(spans[lensText]);
        item.metadataJSON = text(spans[metadataText]);
        item.thumbnailKey = text(spans[keyText]);
        item.liveIdentifier = text(spans[liveText]);
        item.liveVideoPath = text(spans[motionText]);
    }
    batch = {}; // its bytes are no longer needed
}

void ItemRows::finishText(int helpers)
{
    // Batches are claimed one at a time by whoever is free; this thread
    // works too, so a busy pool only means less help. A helper that starts
    // late finds nothing left and touches only the shared state it holds.
    struct Shared {
        std::vector<Batch> batches;
        MediaItem* items = nullptr;
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> done{0};
        std::mutex mutex;
        std::condition_variable allDone;

        void work()
        {
            for (std::size_t at = next++; at < batches.size(); at = next++) {
                finishBatch(batches[at], items);
                if (++done == batches.size()) {
                    const std::lock_guard lock(mutex);
                    allDone.notify_all();
                }
            }
        }
    };
    auto shared = std::make_shared<Shared>();
    shared->batches = std::move(batches_);
    batches_.clear();
    shared->items = items_.data();
    const int started = std::min(helpers, static_cast<int>(shared->batches.size()) - 1);
    for (int helper = 0; helper < started; ++helper) {
        threadPool(PoolPriority::userInitiated)->start([shared] { shared->work(); });
    }
    shared->work();
    std::unique_lock lock(shared->mutex);
    shared->allDone.wait(lock, [&shared] { return shared->done == shared->batches.size(); });
}

} // namespace pivra
