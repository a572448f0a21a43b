#include "catalog/MediaItem.h"

#include "catalog/Hashing.h"
#include "catalog/Uuid.h"

namespace pivra {

QString MediaItem::makeID(const QUuid& sourceID, const QString& path)
{
    return uuidString(sourceID) + u':' + path;
}

size_t qHash(const MediaItem& item, size_t seed)
{
    using hashing::feed;
    std::size_t hash = seed;
    feed(hash, item.id);
    feed(hash, item.sourceID);
    feed(hash, item.path);
    feed(hash, item.name);
    feed(hash, rawValue(item.kind));
    feed(hash, item.captureDate);
    feed(hash, item.dateOrigin);
    feed(hash, item.width);
    feed(hash, item.height);
    feed(hash, item.camera);
    feed(hash, item.lens);
    feed(hash, item.duration);
    feed(hash, static_cast<qint64>(item.fileSize));
    feed(hash, item.modifiedAt);
    feed(hash, item.metadataJSON);
    feed(hash, item.rotationQuarters);
    feed(hash, item.isFavorite);
    feed(hash, item.thumbnailKey);
    feed(hash, item.liveIdentifier);
    feed(hash, item.liveVideoPath);
    return hash;
}

} // namespace pivra
