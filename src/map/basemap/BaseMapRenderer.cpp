#include "map/basemap/BaseMapRenderer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <span>
#include <cmath>
#include <unordered_map>

namespace pivra {

namespace {

// Placements kept at once: about the zooms a user moves between, as long as
// they fit this many bytes (the finest zooms place tens of thousands of
// names); the newest is always kept.
constexpr std::size_t keptPlacements = 4;
constexpr std::size_t keptPlacementBytes = std::size_t(24) << 20;
// Room kept clear around every name, in pixels.
constexpr double labelMargin = 8;
// Points closer than this to the last one drawn, in pixels, are left out.
constexpr double drawnStep = 0.4;
constexpr double collisionCell = 128;
constexpr double cityDotRadius = 2;
// Cities named from this zoom or lower (capitals of half a million, cities
// of five) are principal: a country's name gives way to them, and to no
// other city.
constexpr double principalCityZoom = 4;

QFont labelFont(bool country)
{
    QFont font;
    font.setPixelSize(country ? 12 : 11);
    font.setWeight(country ? QFont::DemiBold : QFont::Normal);
    font.setLetterSpacing(QFont::AbsoluteSpacing, country ? 0.6 : 0);
    return font;
}

void addShape(QPainterPath& path, const QPolygonF& points, double scale, QPointF origin, bool closed)
{
    QPointF last = points.first() * scale - origin;
    path.moveTo(last);
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF next = points[i] * scale - origin;
        if (std::abs(next.x() - last.x()) + std::abs(next.y() - last.y()) >= drawnStep || i + 1 == points.size()) {
            path.lineTo(next);
            last = next;
        }
    }
    if (closed) {
        path.closeSubpath();
    }
}

QPainterPath shapesIn(const std::vector<BaseMapData::Shape>& shapes, const QRectF& area, double scale,
                      QPointF origin, bool closed)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const BaseMapData::Shape& shape : shapes) {
        // Compared by hand: a straight border has a box without width or height,
        // which QRectF::intersects never counts.
        const QRectF& box = shape.bounds;
        if (box.right() >= area.left() && box.left() <= area.right() && box.bottom() >= area.top()
            && box.top() <= area.bottom()) {
            addShape(path, shape.points, scale, origin, closed);
        }
    }
    return path;
}

} // namespace

size_t qHash(const TileKey& key, size_t seed)
{
    return qHashMulti(seed, key.zoom, key.x, key.y, key.dark);
}

BaseMapColors BaseMapColors::forScheme(bool dark)
{
    if (dark) {
        return {QColor(0x1d, 0x27, 0x33), QColor(0x33, 0x37, 0x3d), QColor(0x4d, 0x63, 0x78),
                QColor(0x6e, 0x6c, 0x7c), QColor(0xc8, 0xc8, 0xcc), QColor(0x1d, 0x27, 0x33, 200)};
    }
    return {QColor(0xaa, 0xd3, 0xe6), QColor(0xf3, 0xf0, 0xe8), QColor(0x86, 0xae, 0xc6),
            QColor(0xa3, 0x95, 0xb0), QColor(0x4a, 0x4a, 0x52), QColor(0xff, 0xff, 0xff, 210)};
}

QImage BaseMapRenderer::render(const TileKey& key, double devicePixelRatio) const
{
    const BaseMapColors colors = BaseMapColors::forScheme(key.dark);
    const int side = qRound(tilePixels * devicePixelRatio);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(colors.ocean);
    if (!data_) {
        return image;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const double scale = tilePixels * std::exp2(key.zoom) / mapWorldSize;
    const QPointF origin(key.x * double(tilePixels), key.y * double(tilePixels));
    // The tile in map points, a little larger so strokes at the edge join up.
    const double margin = 4 / scale;
    const QRectF area(origin.x() / scale - margin, origin.y() / scale - margin, tilePixels / scale + 2 * margin,
                      tilePixels / scale + 2 * margin);

    const BaseMapData::Level& level = data_->levelFor(key.zoom);
    const QPainterPath land = shapesIn(level.land, area, scale, origin, true);
    painter.fillPath(land, colors.land);
    painter.strokePath(land, QPen(colors.coast, key.zoom < 3 ? 0.6 : 0.9));
    const QPainterPath borders = shapesIn(level.borders, area, scale, origin, false);
    QPen border(colors.border, key.zoom < 4 ? 0.6 : 1.0);
    border.setDashPattern({4, 2});
    painter.strokePath(borders, border);

    drawLabels(painter, key, colors);
    painter.end();
    // A painted image keeps its paint engine, and with it the engine's
    // buffers for the largest outline it filled (megabytes for a coast at a
    // fine zoom), for as long as the image lives. The map keeps a copy
    // without them.
    return image.copy();
}

void BaseMapRenderer::drawLabels(QPainter& painter, const TileKey& key, const BaseMapColors& colors) const
{
    const std::shared_ptr<const Placement> placement = placementAt(key.zoom);
    const auto touching = placement->byTile.constFind((qint64(key.x) << 32) | key.y);
    if (touching == placement->byTile.cend()) {
        return;
    }
    const QPointF origin(key.x * double(tilePixels), key.y * double(tilePixels));
    for (const int index : *touching) {
        const Placed& placed = placement->labels[std::size_t(index)];
        const QFont font = labelFont(placed.country);
        const QRectF box = placed.box.translated(-origin);
        QPainterPath text;
        text.addText(box.left(), box.top() + QFontMetricsF(font).ascent(), font, placed.label->name);
        painter.strokePath(text, QPen(colors.halo, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.fillPath(text, colors.label);
        if (!placed.country) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colors.label);
            painter.drawEllipse(placed.anchor - origin, cityDotRadius, cityDotRadius);
        }
    }
}

std::vector<const BaseMapData::Label*> BaseMapRenderer::citiesShown(int zoom, const MapRect& area) const
{
    std::vector<const BaseMapData::Label*> shown;
    for (const Placed& placed : placementAt(zoom)->labels) {
        if (!placed.country && area.contains(placed.label->point)) {
            shown.push_back(placed.label);
        }
    }
    return shown;
}

std::shared_ptr<const BaseMapRenderer::Placement> BaseMapRenderer::placementAt(int zoom) const
{
    {
        const std::lock_guard lock(mutex_);
        if (const auto found = placements_.find(zoom); found != placements_.end()) {
            return found->second;
        }
    }
    // Placing runs outside the lock; two tiles of a new zoom may both place,
    // and the second result simply replaces the first, equal one.
    std::shared_ptr<const Placement> placement = place(zoom);
    const std::lock_guard lock(mutex_);
    placements_[zoom] = placement;
    std::erase(placementOrder_, zoom);
    placementOrder_.push_back(zoom);
    std::size_t bytes = 0;
    for (const auto& [kept, held] : placements_) {
        bytes += held->bytes;
    }
    while (placementOrder_.size() > keptPlacements || (placementOrder_.size() > 1 && bytes > keptPlacementBytes)) {
        bytes -= placements_[placementOrder_.front()]->bytes;
        placements_.erase(placementOrder_.front());
        placementOrder_.erase(placementOrder_.begin());
    }
    return placement;
}

std::shared_ptr<const BaseMapRenderer::Placement> BaseMapRenderer::place(int zoom) const
{
    auto placement = std::make_shared<Placement>();
    const double scale = tilePixels * std::exp2(zoom) / mapWorldSize;
    std::unordered_map<qint64, std::vector<QRectF>> taken;
    const auto cellsOf = [](const QRectF& box, auto&& visit) {
        for (auto cx = qint64(std::floor(box.left() / collisionCell)); cx <= qint64(std::floor(box.right() / collisionCell)); ++cx) {
            for (auto cy = qint64(std::floor(box.top() / collisionCell)); cy <= qint64(std::floor(box.bottom() / collisionCell)); ++cy) {
                visit((cx << 32) ^ cy);
            }
        }
    };
    const auto isFree = [&](const QRectF& clear) {
        bool free = true;
        cellsOf(clear, [&](qint64 cell) {
            if (free) {
                if (const auto found = taken.find(cell); found != taken.end()) {
                    free = std::none_of(found->second.begin(), found->second.end(),
                                        [&](const QRectF& other) { return other.intersects(clear); });
                }
            }
        });
        return free;
    };
    const auto tryPlace = [&](const BaseMapData::Label& label, bool country, const QFontMetricsF& metrics,
                              double width) {
        const QPointF anchor(label.point.x * scale, label.point.y * scale);
        const double top = anchor.y() - metrics.height() / 2;
        // A country's name is centred on it, or moved down or up, a step
        // clear of a line at a time, where a city's name is in the way; a
        // city's stands right of its dot, or left of it where the right is
        // taken.
        const double line = metrics.height();
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
            if (!isFree(clear)) {
                continue;
            }
            cellsOf(clear, [&](qint64 cell) { taken[cell].push_back(used); });
            const int index = int(placement->labels.size());
            placement->labels.push_back({&label, box, anchor, country});
            const QRectF drawn = used.adjusted(-2, -2, 2, 2);
            for (auto tx = qint64(std::floor(drawn.left() / tilePixels)); tx <= qint64(std::floor(drawn.right() / tilePixels)); ++tx) {
                for (auto ty = qint64(std::floor(drawn.top() / tilePixels)); ty <= qint64(std::floor(drawn.bottom() / tilePixels)); ++ty) {
                    placement->byTile[(tx << 32) | ty].push_back(index);
                }
            }
            return;
        }
    };
    if (!data_) {
        return placement;
    }
    const QFontMetricsF cityMetrics(labelFont(false));
    const std::vector<BaseMapData::Label>& cities = data_->cities();
    std::call_once(measured_, [&] {
        cityWidths_.reserve(cities.size());
        for (const BaseMapData::Label& label : cities) {
            cityWidths_.push_back(float(cityMetrics.horizontalAdvance(label.name)));
        }
    });
    // Cities come lowest zoom first, and within a zoom capitals and the
    // largest first.
    std::size_t nextCity = 0;
    const auto placeCities = [&](double upToZoom) {
        for (; nextCity < cities.size() && cities[nextCity].minimumZoom <= upToZoom; ++nextCity) {
            tryPlace(cities[nextCity], false, cityMetrics, cityWidths_[nextCity]);
        }
    };
    // The principal cities before the countries' names, which make room for
    // them; the smaller cities after, where the names leave room.
    placeCities(std::min(zoom + 0.5, principalCityZoom));
    const QFontMetricsF countryMetrics(labelFont(true));
    for (const BaseMapData::Label& label : data_->countries()) {
        if (label.minimumZoom <= zoom + 0.5) {
            tryPlace(label, true, countryMetrics, countryMetrics.horizontalAdvance(label.name));
        }
    }
    placeCities(zoom + 0.5);
    // Each tile's list is a node of the hash and a block of its own.
    constexpr std::size_t perTile = sizeof(qint64) + sizeof(std::vector<int>) + 64;
    placement->bytes = placement->labels.capacity() * sizeof(Placed) + std::size_t(placement->byTile.size()) * perTile
                     + std::size_t(placement->labels.size()) * sizeof(int) * 2;
    return placement;
}

} // namespace pivra
