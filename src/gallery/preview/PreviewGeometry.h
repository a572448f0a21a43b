#pragma once

#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <array>

namespace pivra {

// Where the parts of a tile preview go, in the tile's own coordinates (y
// down, origin at the tile's top-left corner).

// The two placeholder bars shown while the thumbnail loads: the shorter one
// near the bottom edge, the longer one 8 above it, both inset from the
// leading edge. Widths never go below 0.
std::array<QRectF, 2> skeletonBars(const QSizeF& tile);

// The size the image is drawn at before it is turned by `quarters`
// clockwise quarter turns, so that once turned it fits inside the tile
// whole; empty for an empty image.
QSizeF fittedImageSize(const QSizeF& tile, const QSize& image, int quarters);

// The part of a video frame shown when it covers `target` without being
// distorted: the frame's middle, cut to the target's aspect.
QRectF aspectFillSource(const QSize& frame, const QSizeF& target);

} // namespace pivra
