#pragma once

#include "catalog/model/Album.h"
#include "gallery/GalleryCallbacks.h"

#include <QList>

#include <optional>

class QMenu;
class QWidget;

namespace pivra {

// The context menu of one tile, built afresh each time it opens: copy and
// show the original (only for a file that exists on this computer), the
// favourite mark (titled by the heart the tile shows), the albums to add to
// and "New Album…", and, inside an album, removal from it. Its actions call
// the callbacks with the tile's item as it was when the menu opened.
//
// The menu opens without touching the disk. Copy and show start disabled;
// for a file item of a source the store counts online (`sourceOnline`), the
// file is looked for on a pool thread and they are enabled when it is found,
// if the menu is still there.
QMenu* buildTileMenu(const MediaItem& item, bool sourceOnline, const QList<Album>& albums,
                     const std::optional<QUuid>& currentAlbum, const GalleryCallbacks& callbacks, QWidget* parent);

} // namespace pivra
