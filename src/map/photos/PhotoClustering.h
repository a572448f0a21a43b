#pragma once

#include "map/MapGeometry.h"

#include <span>
#include <vector>

namespace pivra {

// A pin's worth of photos out of one clustering pass, in indexes into the
// list that was clustered.
struct ClusterDraft {
    int photo = 0;            // the representative: the newest photo of the first cell of the pin
    MapPoint point;           // its point, in the copy of the world nearest the view
    std::vector<int> members; // every photo of the pin, the representative first
    MapRect bounds;           // the smallest rectangle around the members' points

    bool operator==(const ClusterDraft&) const = default;
};

// Groups photos into pins for a view: `points` and `captureDates` run in
// the same order, newest photo first; `visible` is the area in view and
// `cellSize` the map-point span of one pin cell on screen.
//
// Only photos within the visible area grown by a fifth of its size on each
// side take part. Each falls into a square cell of the grid of `cellSize`
// (a photo near the antimeridian counts in the copy of the world nearest
// the view, so none drops out at the seam); each cell's newest photo
// represents it. Cells are then taken newest representative first, and a
// cell whose representative lies closer than one cell to the representative
// of a pin already taken joins that pin, so pins stand at least a cell
// apart. A view without width or height yields no pins.
std::vector<ClusterDraft> clusterPhotos(std::span<const MapPoint> points, std::span<const double> captureDates,
                                        const MapRect& visible, double cellSize);

} // namespace pivra
