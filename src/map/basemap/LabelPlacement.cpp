#include "map/basemap/LabelPlacement.h"

#include "map/basemap/TextWidths.h"

#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

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
    TakenRoom room;
    const auto tryPlace = [&](std::size_t label, MapPoint point, bool country, double width, double line) {
        const QPointF anchor(point.x * scale, point.y * scale);
        const double top = anchor.y() - line / 2;
        // A country's name is centred on it, or moved down or up, a step
        // clear of a line at a time, where a city's name is in the way; a
        // city's stands right of its dot, or left of it where the right is
        // taken.
        const double step = line + labelMargin;
        const double centred = anchor.x() - width / 2;
        const std::array<QRectF, 5> boxes =
            country ? std::array{QRectF(centred, top, width, line), QRectF(centred, top + step, width, line),
                                 QRectF(centred, top - step, width, line), QRectF(centred, top + 2 * step, width, line),
                                 QRectF(centred, top - 2 * step, width, line)}
                    : std::array{QRectF(anchor.x() + 2 * cityDotRadius + 1, top, width, line),
                                 QRectF(anchor.x() - 2 * cityDotRadius - 1 - width, top, width, line), QRectF(),
                                 QRectF(), QRectF()};
        const QRectF dot(anchor.x() - cityDotRadius, anchor.y() - cityDotRadius, 2 * cityDotRadius, 2 * cityDotRadius);
        for (const QRectF& box : std::span(boxes.data(), country ? 5 : 2)) {
            const QRectF used = country ? box : box.united(dot);
            const QRectF clear = used.adjusted(-labelMargin, -labelMargin, labelMargin, labelMargin);
            if (!room.isFree(clear)) {
                continue;
            }
            room.take(used, clear);
            const int index = int(placed_.size());
            placed_.push_back({label, box, anchor, country});
            // The tiles it shows on, strokes around its letters included.
            squaresOf(used.adjusted(-2, -2, 2, 2), tilePixels, [&](qint64 tile) { tiles_.push_back({tile, index}); });
            return;
        }
    };

    const double cityLine = QFontMetricsF(font(false)).height();
    TextWidths cityWidths(font(false));
    const BaseMapData::Labels& cities = data.cities();
    const auto placeCity = [&](std::size_t city) {
        if (!stopped.load(std::memory_order_relaxed)) {
            tryPlace(city, cities.point(city), false, cityWidths.of(cities.nameBytes(city)), cityLine);
        }
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
            tryPlace(country, label.point, true, countryMetrics.horizontalAdvance(label.name), countryMetrics.height());
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
