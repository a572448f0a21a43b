#include "catalog/model/MediaItem.h"

#include "catalog/model/Hashing.h"
#include "catalog/model/Uuid.h"

#include <QByteArrayView>

namespace pivra {

MediaItem::MediaItem(Text id, const QUuid& sourceID, Text path, Text name, MediaKind kind, Timestamp captureDate,
                     Text dateOrigin, int width, int height, OptionalText camera, OptionalText lens,
                     std::optional<double> duration, std::int64_t fileSize, Timestamp modifiedAt,
                     OptionalText metadataJSON, int rotationQuarters, bool isFavorite, OptionalText thumbnailKey,
                     OptionalText liveIdentifier, OptionalText liveVideoPath)
    : text_({id, path, name, dateOrigin, camera, lens, metadataJSON, thumbnailKey, liveIdentifier, liveVideoPath}),
      sourceID_(sourceID),
      captureDate_(captureDate),
      modifiedAt_(modifiedAt),
      fileSize_(fileSize),
      width_(width),
      height_(height),
      rotationQuarters_(rotationQuarters),
      kind_(kind),
      isFavorite_(isFavorite)
{
    setDuration(duration);
}

QString MediaItem::makeID(const QUuid& sourceID, const QString& path)
{
    return uuidString(sourceID) + u':' + path;
}

void MediaItem::setDuration(std::optional<double> duration)
{
    hasDuration_ = duration.has_value();
    duration_ = duration.value_or(0);
}

namespace {

// A text field feeds its UTF-8 bytes; an optional one a presence flag first.
void feedText(std::size_t& hash, const MediaText& text, MediaText::Field field)
{
    if (field >= MediaText::camera) {
        hashing::combine(hash, text.has(field) ? 1 : 0);
        if (!text.has(field)) {
            return;
        }
    }
    const QUtf8StringView bytes = text.view(field);
    hashing::combine(hash, qHash(QByteArrayView(bytes.data(), bytes.size())));
}

} // namespace

size_t qHash(const MediaItem& item, size_t seed)
{
    using hashing::feed;
    const MediaText& text = item.text();
    std::size_t hash = seed;
    feedText(hash, text, MediaText::id);
    feed(hash, item.sourceID());
    feedText(hash, text, MediaText::path);
    feedText(hash, text, MediaText::name);
    feed(hash, rawValue(item.kind()));
    feed(hash, item.captureDate());
    feedText(hash, text, MediaText::dateOrigin);
    feed(hash, item.width());
    feed(hash, item.height());
    feedText(hash, text, MediaText::camera);
    feedText(hash, text, MediaText::lens);
    feed(hash, item.duration());
    feed(hash, static_cast<qint64>(item.fileSize()));
    feed(hash, item.modifiedAt());
    feedText(hash, text, MediaText::metadataJSON);
    feed(hash, item.rotationQuarters());
    feed(hash, item.isFavorite());
    feedText(hash, text, MediaText::thumbnailKey);
    feedText(hash, text, MediaText::liveIdentifier);
    feedText(hash, text, MediaText::liveVideoPath);
    return hash;
}

} // namespace pivra
