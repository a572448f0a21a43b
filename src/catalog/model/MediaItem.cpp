#include "catalog/model/MediaItem.h"

#include "catalog/model/Hashing.h"
#include "catalog/model/Uuid.h"

namespace pivra {

MediaItem::MediaItem(Text id, const QUuid& sourceID, Text path, Text name, MediaKind kind, Timestamp captureDate,
                     Text dateOrigin, int width, int height, OptionalText camera, OptionalText lens,
                     std::optional<double> duration, std::int64_t fileSize, Timestamp modifiedAt,
                     OptionalText metadataJSON, int rotationQuarters, bool isFavorite, OptionalText thumbnailKey,
                     OptionalText liveIdentifier, OptionalText liveVideoPath)
    : text_({id, path, name, dateOrigin, camera, lens, metadataJSON, thumbnailKey, liveIdentifier, liveVideoPath},
            sourceID),
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

size_t qHash(const MediaItem& item, size_t seed)
{
    using hashing::feed;
    // The texts and the source hash as one: the shared part of them brings a
    // hash made once for all the items that hold it.
    std::size_t hash = qHash(item.text(), seed);
    feed(hash, rawValue(item.kind()));
    feed(hash, item.captureDate());
    feed(hash, item.width());
    feed(hash, item.height());
    feed(hash, item.duration());
    feed(hash, static_cast<qint64>(item.fileSize()));
    feed(hash, item.modifiedAt());
    feed(hash, item.rotationQuarters());
    feed(hash, item.isFavorite());
    return hash;
}

} // namespace pivra
