#pragma once

#include "map/basemap/BaseMapData.h"

#include <QFont>
#include <QPointF>
#include <QRectF>

#include <vector>

namespace pivra {

// Where the names of countries and cities go at one tile zoom, for the whole
// world at once, so that a name across a tile edge is drawn whole, in the
// same place, by every tile it touches. Names are placed in a fixed order,
// each only where it keeps clear of those placed before it, so where names
// collide the earlier one wins: the cities the map already named a zoom out
// (at any zoom those named from zoom 4: cities of a million and the
// capitals of a fifth of one), the capitals this zoom adds, then the
// countries' names, which step down or up out of their way, then the other
// cities this zoom adds; cities in the data's order, the larger first (see
// BaseMapData::cities()). So a country's name makes room for its capital,
// and a city keeps its name as the map zooms in. A city's name goes where it
// hides the fewest principal cities still to come, and a city left unnamed
// is never outdone by a smaller one beside it.
class LabelPlacement {
public:
    static constexpr double cityDotRadius = 2;

    struct Placed {
        std::size_t label; // among the data's countries or its cities
        QRectF box;        // the name, in pixels of the whole world at the placement's zoom
        QPointF anchor;    // the place itself, where a city's dot is drawn
        bool country;
    };

    // The font a name is measured and drawn in.
    static QFont font(bool country);

    LabelPlacement(const BaseMapData& data, int zoom);

    // The program is closing: every placement under way ends at once, short
    // of its names, so closing waits on none (see BaseMapTiles).
    static void stopAll();

    // Every name placed, in the order placed.
    const std::vector<Placed>& placed() const { return placed_; }
    // Those that show on the tile (x, y) of the zoom, in the order placed.
    std::vector<const Placed*> onTile(int x, int y) const;
    // About what it holds in memory.
    std::size_t bytes() const;

private:
    struct OnTile {
        qint64 tile; // x << 32 | y
        int index;   // into placed_
        auto operator<=>(const OnTile&) const = default;
    };

    std::vector<Placed> placed_;
    std::vector<OnTile> tiles_; // sorted
};

} // namespace pivra
