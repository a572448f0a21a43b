#pragma once

#include "catalog/model/MediaItem.h"

#include <QPixmap>
#include <QSizeF>

class QDrag;

namespace pivra {

class ThumbnailStore;

// The small picture under the pointer while an original is dragged: the
// grid thumbnail already in memory or the file type's icon, scaled down to a
// longest side, never up. Nothing is rendered or read from disk for it. A
// device original still being copied carries its progress under the picture,
// as it stands when the image is made: most platforms draw a drag's image
// only as the drag starts.
namespace MediaDragPreview {

// The longest side of the image of a new drag, and while it is over the
// window's share target.
inline constexpr double maxSide = 96;
inline constexpr double overShareTargetMaxSide = 56;

// `source` scaled down so that its longest side is at most `maxSide`, each
// side at least 1.
QSizeF scaledSize(QSizeF source, double maxSide);

QPixmap image(ThumbnailStore& thumbnails, const MediaItem& item, double maxSide);

// Gives `drag` its image for `item` at `maxSide`, with the hot spot at the
// picture's centre; again while it runs, for a new size.
void show(QDrag& drag, ThumbnailStore& thumbnails, const MediaItem& item, double maxSide);

// The caption under a device original's picture: its copy's progress while
// it runs, nothing otherwise.
QString caption(const QDrag& drag);

} // namespace MediaDragPreview

} // namespace pivra
