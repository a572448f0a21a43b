#pragma once

#include "map/MapGeometry.h"

#include <QMarginsF>
#include <QPointF>
#include <QSizeF>

namespace pivra {

// Where a map view looks: the map point at the middle of the view and a
// fractional zoom, where zoom z shows the world 256 · 2^z pixels wide. The
// world always covers the whole view (the zoom never goes below that), the
// view never looks past the northern or southern edge, and it wraps around
// east to west, so the centre's x stays within one world.
class MapCamera {
public:
    static constexpr double tileSize = 256;
    static constexpr double maxZoom = 20;

    void setViewport(QSizeF size);
    QSizeF viewport() const { return viewport_; }
    MapPoint center() const { return center_; }
    double zoom() const { return zoom_; }
    // Pixels per map point.
    double scale() const;
    double minimumZoom() const;

    MapRect visibleRect() const;
    // The screen position of a map point, in the copy of the world the view
    // is centred in; map points are not wrapped.
    QPointF toScreen(MapPoint point) const;
    MapPoint toMap(QPointF screen) const;

    void setCenter(MapPoint center);
    void setZoom(double zoom);
    // Zooms keeping the map point under `screen` where it is.
    void zoomAbout(QPointF screen, double zoom);
    // Moves the map with the pointer by `pixels`.
    void panBy(QPointF pixels);
    // The largest zoom at which `rect` fits the view less `padding`, but no
    // deeper than `deepest`, centred in what the padding leaves.
    void show(const MapRect& rect, const QMarginsF& padding, double deepest = maxZoom);

private:
    void clamp();

    QSizeF viewport_{1, 1};
    MapPoint center_{mapWorldSize / 2, mapWorldSize / 2};
    double zoom_ = 0;
};

} // namespace pivra
