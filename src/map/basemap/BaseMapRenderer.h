#pragma once

#include "map/basemap/BaseMapData.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QRectF>

#include <map>
#include <memory>
#include <mutex>
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

    static BaseMapColors forScheme(bool dark);
};

// Draws tiles of the offline base map: sea, land (holes in it show as
// water), coastlines, borders, then the names of countries and cities, each
// from the zoom its importance allows. Names are placed once per zoom for the
// whole world, larger countries first, then cities in the data's order (the
// capitals and the largest first), each name only where it keeps clear of
// those already placed, so where names collide the larger place wins, and a
// name across a tile edge is drawn whole, in the same place, by every tile it
// touches. Any thread; tiles may be drawn at once.
class BaseMapRenderer {
public:
    static constexpr int tilePixels = 256;

    // `data` none draws sea only.
    explicit BaseMapRenderer(std::shared_ptr<const BaseMapData> data) : data_(std::move(data)) {}

    QImage render(const TileKey& key, double devicePixelRatio) const;

    // The cities whose names the tiles of a zoom draw, of those that lie in
    // `area`, in the order they were placed.
    std::vector<const BaseMapData::Label*> citiesShown(int zoom, const MapRect& area) const;

private:
    struct Placed {
        const BaseMapData::Label* label;
        QRectF box;     // the name, in pixels of the whole world at the placement's zoom
        QPointF anchor; // the place itself, where a city's dot is drawn
        bool country;
    };
    struct Placement {
        std::vector<Placed> labels;
        QHash<qint64, std::vector<int>> byTile; // tile x << 32 | tile y → labels touching it
        std::size_t bytes = 0;                  // about what it holds in memory
    };

    std::shared_ptr<const Placement> placementAt(int zoom) const;
    std::shared_ptr<const Placement> place(int zoom) const;
    void drawLabels(QPainter& painter, const TileKey& key, const BaseMapColors& colors) const;

    const std::shared_ptr<const BaseMapData> data_;
    // Widths of the city names, measured once by the first placement.
    mutable std::once_flag measured_;
    mutable std::vector<float> cityWidths_;
    mutable std::mutex mutex_;
    mutable std::map<int, std::shared_ptr<const Placement>> placements_; // the latest few zooms
    mutable std::vector<int> placementOrder_;
};

} // namespace pivra
