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

constexpr std::size_t textFields = textColumns.size();

// Items per batch of text: big enough that a thread's share is worth
// handing over, small enough that several threads find work in a gallery.
constexpr std::size_t batchItems = 8192;
// About what an item's text takes: a path twice (in the id), a name, a key.
constexpr std::size_t typicalTextBytes = 256;

// Where one text field lies in its batch's bytes; a NULL has no length.
struct Span {
    std::uint32_t offset = 0;
    std::int32_t length = -1;
};

} // namespace

struct ItemRows::Batch {
    std::size_t firstItem = 0;
    std::string bytes;
    std::vector<std::array<Span, textFields>> spans;
    std::atomic<bool> claimed{false};

    // Gives the batch's items their text, unless someone else took it.
    bool finishOnce(MediaItem* items);
};

// How many batches are finished, for the thread that waits for all of them.
struct ItemRows::Progress {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t finished = 0;

    void addFinished()
    {
        const std::lock_guard lock(mutex);
        ++finished;
        changed.notify_all();
    }
};

bool ItemRows::Batch::finishOnce(MediaItem* items)
{
    if (claimed.exchange(true)) {
        return false;
    }
    const auto text = [this](const Span& span) -> std::optional<QString> {
        if (span.length < 0) {
            return std::nullopt;
        }
        return QString::fromUtf8(bytes.data() + span.offset, span.length);
    };
    for (std::size_t at = 0; at < spans.size(); ++at) {
        const auto& fields = spans[at];
        MediaItem& item = items[firstItem + at];
        item.id = *text(fields[idText]);
        item.path = *text(fields[pathText]);
        item.name = *text(fields[nameText]);
        item.camera = text(fields[cameraText]);
        item.lens = text(fields[lensText]);
        item.metadataJSON = text(fields[metadataText]);
        item.thumbnailKey = text(fields[keyText]);
        item.liveIdentifier = text(fields[liveText]);
        item.liveVideoPath = text(fields[motionText]);
    }
    bytes = {};
    spans = {};
    return true;
}

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

ItemRows::ItemRows(std::vector<MediaItem>& items, std::size_t expectedItems, bool useHelpers)
    : items_(items),
      expectedItems_(expectedItems),
      useHelpers_(useHelpers),
      handOverEarly_(useHelpers && items.capacity() - items.size() >= expectedItems),
      progress_(std::make_shared<Progress>())
{
}

// Helpers never outlive what they write to: every batch is finished (by a
// helper or by this thread) before the list may move, and a helper that
// starts late finds its batch taken and touches only what it shares.
ItemRows::~ItemRows()
{
    finishText();
}

void ItemRows::hand(const std::shared_ptr<Batch>& batch)
{
    threadPool(PoolPriority::userInitiated)->start([batch, items = items_.data(), progress = progress_] {
        if (batch->finishOnce(items)) {
            progress->addFinished();
        }
    });
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
    for (std::size_t field = 0; field < textFields; ++field) {
        // A video is never its own motion half, whatever the column holds.
        if (field != motionText || *kind == MediaKind::image) {
            texts[field] = row.optionalBytes(textColumns[field]);
        }
    }
    if (!texts[idText] || !texts[pathText] || !texts[nameText]) {
        return false;
    }

    if (batches_.empty() || batches_.back()->spans.size() == batchItems) {
        if (handOverEarly_ && !batches_.empty()) {
            hand(batches_.back());
        }
        auto& batch = *batches_.emplace_back(std::make_shared<Batch>());
        batch.firstItem = items_.size();
        const std::size_t expected = std::clamp<std::size_t>(expectedItems_ - batch.firstItem, 1, batchItems);
        batch.spans.reserve(expected);
        batch.bytes.reserve(expected * typicalTextBytes);
    }
    Batch& batch = *batches_.back();
    auto& spans = batch.spans.emplace_back();
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

void ItemRows::finishText()
{
    if (batches_.empty()) {
        return;
    }
    std::size_t handed = handOverEarly_ ? batches_.size() - 1 : 0;
    if (useHelpers_) {
        for (; handed + 1 < batches_.size(); ++handed) {
            hand(batches_[handed]);
        }
    }
    // Newest first: the helpers took the oldest.
    std::size_t finishedHere = 0;
    for (auto batch = batches_.rbegin(); batch != batches_.rend(); ++batch) {
        finishedHere += (*batch)->finishOnce(items_.data()) ? 1 : 0;
    }
    std::unique_lock lock(progress_->mutex);
    progress_->changed.wait(lock, [&] { return progress_->finished + finishedHere == batches_.size(); });
    lock.unlock();
    batches_.clear();
    progress_->finished = 0;
}

} // namespace pivra
