#pragma once

#include "catalog/model/MediaItem.h"

#include <QString>
#include <QUuid>

#include <functional>

namespace pivra {

// What the gallery asks of the window; each missing one makes its action do
// nothing.
struct GalleryCallbacks {
    std::function<void(const MediaItem&)> onSelect;                    // open the viewer
    std::function<void(const QString& id)> onFavorite;                 // toggle the mark
    std::function<void(const QUuid& album, const QString& id)> onAddToAlbum;
    std::function<void(const QString& id)> onCreateAlbum;              // a new album holding the item
    std::function<void(const QUuid& album, const QString& id)> onRemoveFromAlbum;
    std::function<void(const MediaItem&)> onCopy;
    std::function<void(const MediaItem&)> onReveal;
};

} // namespace pivra
