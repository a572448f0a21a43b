#pragma once

#include "map/basemap/BaseMapData.h"
#include "map/basemap/LabelPlacement.h"

#include <QColor>
#include <QImage>
#include <QRectF>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace pivra {

// One square of the map at an integer zoom: 2^zoom tiles a side, x from the
// antimeridian east, y from the north, in one colour scheme.
struct TileKey {
    int zoom = 0;
    int x = 0;
    int y = 0;
    bool dark = false;

    bool operator==(const TileKey&) const = default;
};
size_t qHash(const TileKey& key, size_t seed = 0);

// The base map's colours in the light and dark schemes.
struct BaseMapColors {
    QColor ocean;
    QColor land;
    QColor coast;
    QColor border;
    QColor label;
    QColor halo;
    QColor pending; // where a tile is not drawn yet: neither land nor sea

    static BaseMapColors forScheme(bool dark);
};

// Draws tiles of the offline base map: sea, land (holes in it show as
// water), coastlines, borders, then the names of countries and cities, each
// from the zoom its importance allows, placed once per zoom for the whole
// world (see LabelPlacement); the placements of the last few zooms are kept.
// Any thread; tiles may be drawn at once.
class BaseMapRenderer {
public:
    static constexpr int tilePixels = 256;

    // `data` none draws sea only.
    explicit BaseMapRenderer(std::shared_ptr<const BaseMapData> data) : data_(std::move(data)) {}

    // The tile with its names, placing them for its zoom first if need be
    // (for the finest zooms a few hundred milliseconds).
    QImage render(const TileKey& key, double devicePixelRatio) const;
    // The tile at once: with its names where they are placed for its zoom
    // (`named` true), else without them.
    QImage draft(const TileKey& key, double devicePixelRatio, bool& named) const;
    // Places the names of a zoom unless they are placed or being placed
    // already; true when this call placed them.
    bool placeNames(int zoom) const;

    // The cities whose names the tiles of a zoom draw, of those that lie in
    // `area`, in the order they were placed.
    std::vector<BaseMapData::Label> citiesShown(int zoom, const MapRect& area) const;

private:
    std::shared_ptr<const LabelPlacement> placementAt(int zoom) const;
    std::shared_ptr<const LabelPlacement> placedAt(int zoom) const;
    void keep(int zoom, std::shared_ptr<const LabelPlacement> placement) const;
    QImage draw(const TileKey& key, double devicePixelRatio, const LabelPlacement* names) const;
    void drawName(QPainter& painter, const LabelPlacement::Placed& placed, QPointF origin,
                  const BaseMapColors& colors) const;

    const std::shared_ptr<const BaseMapData> data_;
    mutable std::mutex mutex_;
    mutable std::map<int, std::shared_ptr<const LabelPlacement>> placements_; // the latest few zooms
    mutable std::vector<int> placementOrder_;
    mutable std::set<int> placing_; // zooms whose names a thread is placing
};

} // namespace pivra
