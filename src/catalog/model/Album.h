#pragma once

#include "catalog/model/MediaItem.h"

#include <QString>
#include <QUuid>
#include <optional>

namespace pivra {

// An album with its member count and its newest visible member as cover.
// Identified by `id`; it has no equality of its own.
struct Album {
    QUuid id;
    QString name;
    int itemCount = 0;
    std::optional<MediaItem> cover;
};

} // namespace pivra
