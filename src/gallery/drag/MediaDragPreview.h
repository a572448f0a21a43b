#pragma once

#include "catalog/model/MediaItem.h"

#include <QPixmap>
#include <QSizeF>

class QDrag;

namespace pivra {

class ThumbnailStore;

// The small picture under the pointer while an original is dragged: the
// grid thumbnail already at hand (memory or disk) or the file type's icon,
// scaled down to a longest side, never up. Nothing is rendered for it.
namespace MediaDragPreview {

// The longest side of the image of a new drag, and while it is over the
// window's share target.
inline constexpr double maxSide = 96;
inline constexpr double overShareTargetMaxSide = 56;

// `source` scaled down so that its longest side is at most `maxSide`, each
// side at least 1.
QSizeF scaledSize(QSizeF source, double maxSide);

QPixmap image(ThumbnailStore& thumbnails, const MediaItem& item, double maxSide);

// Gives the running `drag` the image at `maxSide`, centred on the pointer.
// Where the platform draws the drag image only as the drag starts (X11),
// what is shown keeps its first size.
void resize(QDrag& drag, ThumbnailStore& thumbnails, const MediaItem& item, double maxSide);

// The image and its centre hot spot put on a new drag.
void apply(QDrag& drag, const QPixmap& image);

} // namespace MediaDragPreview

} // namespace pivra
