#pragma once

#include "catalog/MediaKind.h"
#include "catalog/Timestamp.h"

#include <QString>
#include <QUuid>
#include <cstdint>
#include <functional>
#include <optional>

namespace pivra {

// One photo or video of the catalog. A plain value: copies are independent and
// safe to hand between the GUI thread, the catalog thread and workers. Equality
// and hashing go over all twenty fields, so a changed favourite or rotation makes
// a different value (the grid relies on that to redraw).
struct MediaItem {
    QString id;
    QUuid sourceID;
    QString path;
    QString name;
    MediaKind kind = MediaKind::image;
    Timestamp captureDate = 0;
    QString dateOrigin;
    int width = 0;
    int height = 0;
    std::optional<QString> camera;
    std::optional<QString> lens;
    std::optional<double> duration;
    std::int64_t fileSize = 0;
    Timestamp modifiedAt = 0;
    std::optional<QString> metadataJSON;
    int rotationQuarters = 0;
    bool isFavorite = false;
    std::optional<QString> thumbnailKey;
    std::optional<QString> liveIdentifier;
    std::optional<QString> liveVideoPath;

    // The item id: the source's canonical UUID text, ":" and the item's path
    // (a file path, or a camera item path for device items).
    static QString makeID(const QUuid& sourceID, const QString& path);

    bool operator==(const MediaItem&) const = default;
};

size_t qHash(const MediaItem& item, size_t seed = 0);

} // namespace pivra

template<>
struct std::hash<pivra::MediaItem> {
    size_t operator()(const pivra::MediaItem& item) const { return pivra::qHash(item); }
};
