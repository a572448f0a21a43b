#include "map/basemap/LabelPlacement.h"

#include "map/basemap/TextWidths.h"

#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>

namespace pivra {

namespace {

// Room kept clear around every name, in pixels.
constexpr double labelMargin = 8;
// Side of the cells names are looked up by when checked for room, in pixels.
constexpr double collisionCell = 128;
constexpr int tilePixels = 256;
// Cities named from this zoom (cities of a million, capitals of a fifth of
// one) come before the countries' names at every zoom.
constexpr double principalCityZoom = 4;

std::atomic<bool> stopped = false;

// Calls `visit` with the key of every square of `side` pixels `box` touches.
template<typename Visit>
void squaresOf(const QRectF& box, double side, Visit&& visit)
{
    const auto first = [side](double at) { return qint64(std::floor(at / side)); };
    for (qint64 x = first(box.left()); x <= first(box.right()); ++x) {
        for (qint64 y = first(box.top()); y <= first(box.bottom()); ++y) {
            visit((x << 32) ^ (y & 0xffffffff));
        }
    }
}

// The boxes of the names placed so far, found by the cells they touch: each
// cell's boxes form a list through one array, so placing a name allocates
// nothing but the array's growth.
class TakenRoom {
public:
    bool isFree(const QRectF& clear) const
    {
        bool free = true;
        squaresOf(clear, collisionCell, [&](qint64 cell) {
            for (int at = free ? first_.value(cell) - 1 : -1; at >= 0; at = boxes_[std::size_t(at)].next) {
                if (boxes_[std::size_t(at)].box.intersects(clear)) {
                    free = false;
                    return;
                }
            }
        });
        return free;
    }
    void take(const QRectF& used, const QRectF& clear)
    {
        squaresOf(clear, collisionCell, [&](qint64 cell) {
            int& head = first_[cell];
            boxes_.push_back({used, head - 1});
            head = int(boxes_.size());
        });
    }

private:
    struct Box {
        QRectF box;
        int next; // the cell's box taken before, or -1
    };
    QHash<qint64, int> first_; // a cell's last box taken, plus one (0: none)
    std::vector<Box> boxes_;
};

// The dots of cities, found by the cells they touch, to ask which of those
// that come after a given city a box would cover.
class CityDots {
public:
    static constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

    void add(std::size_t city, const QRectF& dot)
    {
        squaresOf(dot, collisionCell, [&](qint64 cell) { cells_[cell].push_back({city, dot}); });
    }
    // The first city after `city` whose dot `box` covers, or none.
    std::size_t firstCoveredAfter(std::size_t city, const QRectF& box) const
    {
        std::size_t first = none;
        squaresOf(box, collisionCell, [&](qint64 cell) {
            const auto found = cells_.constFind(cell);
            if (found == cells_.cend()) {
                return;
            }
            for (const Dot& dot : *found) {
                if (dot.city > city && dot.city < first && dot.box.intersects(box)) {
                    first = dot.city;
                }
            }
        });
        return first;
    }

private:
    struct Dot {
        std::size_t city;
        QRectF box;
    };
    QHash<qint64, std::vector<Dot>> cells_;
};

} // namespace

QFont LabelPlacement::font(bool country)
{
    QFont font;
    font.setPixelSize(country ? 12 : 11);
    font.setWeight(country ? QFont::DemiBold : QFont::Normal);
    font.setLetterSpacing(QFont::AbsoluteSpacing, country ? 0.6 : 0);
    // So a city's width is the sum of its letters' (see TextWidths).
    return TextWidths::withoutKerning(font);
}

LabelPlacement::LabelPlacement(const BaseMapData& data, int zoom)
{
    const double scale = tilePixels * std::exp2(zoom) / mapWorldSize;
    const BaseMapData::Labels& cities = data.cities();
    const auto anchorOf = [scale](MapPoint point) { return QPointF(point.x * scale, point.y * scale); };
    const auto dotOf = [](QPointF anchor) {
        return QRectF(anchor.x() - cityDotRadius, anchor.y() - cityDotRadius, 2 * cityDotRadius, 2 * cityDotRadius);
    };
    // Tiles of a zoom name the cities whose minimum zoom is at most half a
    // zoom beyond, so those named a zoom out reach at most half a zoom short.
    const auto endOf = [&](double upToZoom) {
        std::size_t end = 0;
        while (end < cities.size() && cities.minimumZoom(end) <= upToZoom) {
            ++end;
        }
        return end;
    };
    const std::size_t established = endOf(std::max(std::min(zoom + 0.5, principalCityZoom), zoom - 0.5));
    const std::size_t all = endOf(zoom + 0.5);

    // The dots of the cities named before the countries, so that a larger
    // city's name keeps off a smaller one's dot where it can: Los Angeles
    // names itself over the sea rather than over Phoenix.
    CityDots awaited;
    for (std::size_t city = 0; city < established; ++city) {
        awaited.add(city, dotOf(anchorOf(cities.point(city))).adjusted(-labelMargin, -labelMargin, labelMargin, labelMargin));
    }

    TakenRoom room;
    const auto take = [&](std::size_t label, const QRectF& box, QPointF anchor, bool country, const QRectF& used,
                          const QRectF& clear) {
        room.take(used, clear);
        const int index = int(placed_.size());
        placed_.push_back({label, box, anchor, country});
        // The tiles it shows on, strokes around its letters included.
        squaresOf(used.adjusted(-2, -2, 2, 2), tilePixels, [&](qint64 tile) { tiles_.push_back({tile, index}); });
    };
    // A country's name is centred on it, or moved down or up, a step clear
    // of a line at a time, where a city's name is in the way.
    const auto placeCountry = [&](std::size_t label, MapPoint point, double width, double line) {
        const QPointF anchor = anchorOf(point);
        const double top = anchor.y() - line / 2;
        const double step = line + labelMargin;
        const double left = anchor.x() - width / 2;
        for (const double offset : {0.0, step, -step, 2 * step, -2 * step}) {
            const QRectF box(left, top + offset, width, line);
            const QRectF clear = box.adjusted(-labelMargin, -labelMargin, labelMargin, labelMargin);
            if (room.isFree(clear)) {
                take(label, box, anchor, true, box, clear);
                return;
            }
        }
    };
    // A city's name stands right of its dot, else left of it; a principal
    // city's also above or below it, else at one of its corners, so that one
    // between larger neighbours still finds room (Philadelphia between New
    // York and Washington), while the towns around stay as few as a screen
    // holds. Of the places that keep clear of every name placed, the one
    // that covers the dot of no principal city still to come, else the one
    // whose first covered is the least of them: Los Angeles names itself
    // over the sea rather than over Phoenix, Osaka over Kobe rather than
    // over Nagoya. A city that finds no room keeps its own dot's clear of
    // smaller places, so none of them is named in its stead.
    const double cityLine = QFontMetricsF(font(false)).height();
    TextWidths cityWidths(font(false));
    const auto placeCity = [&](std::size_t city) {
        if (stopped.load(std::memory_order_relaxed)) {
            return;
        }
        const QPointF anchor = anchorOf(cities.point(city));
        const double width = cityWidths.of(cities.nameBytes(city));
        const double top = anchor.y() - cityLine / 2;
        const double beside = 2 * cityDotRadius + 1;
        const double above = anchor.y() - cityDotRadius - 1 - cityLine;
        const double below = anchor.y() + cityDotRadius + 1;
        const double right = anchor.x() + cityDotRadius;
        const double left = anchor.x() - cityDotRadius - width;
        const std::array boxes{QRectF(anchor.x() + beside, top, width, cityLine),
                               QRectF(anchor.x() - beside - width, top, width, cityLine),
                               QRectF(anchor.x() - width / 2, above, width, cityLine),
                               QRectF(anchor.x() - width / 2, below, width, cityLine),
                               QRectF(right, above, width, cityLine),
                               QRectF(left, above, width, cityLine),
                               QRectF(right, below, width, cityLine),
                               QRectF(left, below, width, cityLine)};
        const QRectF dot = dotOf(anchor);
        std::optional<std::size_t> best;
        std::size_t bestCovers = 0;
        for (std::size_t at = 0; at < (city < established ? boxes.size() : 2); ++at) {
            const QRectF used = boxes[at].united(dot);
            if (!room.isFree(used.adjusted(-labelMargin, -labelMargin, labelMargin, labelMargin))) {
                continue;
            }
            const std::size_t covers = awaited.firstCoveredAfter(city, used);
            if (!best || covers > bestCovers) {
                best = at;
                bestCovers = covers;
            }
            if (covers == CityDots::none) {
                break;
            }
        }
        if (!best) {
            const QRectF kept = dot.adjusted(-labelMargin, -labelMargin, labelMargin, labelMargin);
            room.take(kept, kept);
            return;
        }
        const QRectF used = boxes[*best].united(dot);
        take(city, boxes[*best], anchor, false, used, used.adjusted(-labelMargin, -labelMargin, labelMargin, labelMargin));
    };

    for (std::size_t city = 0; city < established; ++city) {
        placeCity(city);
    }
    for (std::size_t city = established; city < all; ++city) {
        if (cities.isCapital(city)) {
            placeCity(city);
        }
    }
    const QFontMetricsF countryMetrics(font(true));
    const BaseMapData::Labels& countries = data.countries();
    for (std::size_t country = 0; country < countries.size(); ++country) {
        if (countries.minimumZoom(country) <= zoom + 0.5) {
            const BaseMapData::Label label = countries[country];
            placeCountry(country, label.point, countryMetrics.horizontalAdvance(label.name), countryMetrics.height());
        }
    }
    for (std::size_t city = established; city < all; ++city) {
        if (!cities.isCapital(city)) {
            placeCity(city);
        }
    }
    std::sort(tiles_.begin(), tiles_.end());
}

void LabelPlacement::stopAll()
{
    stopped = true;
}

std::vector<const LabelPlacement::Placed*> LabelPlacement::onTile(int x, int y) const
{
    const qint64 tile = (qint64(x) << 32) ^ (qint64(y) & 0xffffffff);
    const auto from = std::lower_bound(tiles_.begin(), tiles_.end(), OnTile{tile, 0});
    std::vector<const Placed*> shown;
    for (auto at = from; at != tiles_.end() && at->tile == tile; ++at) {
        shown.push_back(&placed_[std::size_t(at->index)]);
    }
    return shown;
}

std::size_t LabelPlacement::bytes() const
{
    return placed_.capacity() * sizeof(Placed) + tiles_.capacity() * sizeof(OnTile);
}

} // namespace pivra
