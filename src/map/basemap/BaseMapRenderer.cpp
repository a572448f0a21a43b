#include "map/basemap/BaseMapRenderer.h"

#include "map/basemap/LabelPlacement.h"
#include "map/basemap/ShapeClip.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace pivra {

namespace {

// Placements kept at once: about the zooms a user moves between, as long as
// they fit this many bytes (the finest zooms place tens of thousands of
// names); the newest is always kept.
constexpr std::size_t keptPlacements = 4;
constexpr std::size_t keptPlacementBytes = std::size_t(24) << 20;
// Points closer than this to the last one drawn, in pixels, are left out.
constexpr double drawnStep = 0.4;

template<typename Shape>
void addShape(QPainterPath& path, const Shape& points, double scale, QPointF origin, bool closed)
{
    QPointF last = points[0] * scale - origin;
    path.moveTo(last);
    const qsizetype count = qsizetype(points.size());
    for (qsizetype i = 1; i < count; ++i) {
        const QPointF next = points[i] * scale - origin;
        if (std::abs(next.x() - last.x()) + std::abs(next.y() - last.y()) >= drawnStep || i + 1 == count) {
            path.lineTo(next);
            last = next;
        }
    }
    if (closed) {
        path.closeSubpath();
    }
}

// The shapes that reach into `area`, each cut to it where it reaches out.
QPainterPath shapesIn(const BaseMapData::Shapes& shapes, const QRectF& area, double scale, QPointF origin,
                      bool closed)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const BaseMapData::Shape shape = shapes[i];
        if (shape.size() == 0) {
            continue;
        }
        // Compared by hand: a straight border has a box without width or height,
        // which QRectF::intersects never counts.
        const QRectF& box = shape.bounds();
        if (box.right() < area.left() || box.left() > area.right() || box.bottom() < area.top()
            || box.top() > area.bottom()) {
            continue;
        }
        if (box.left() >= area.left() && box.right() <= area.right() && box.top() >= area.top()
            && box.bottom() <= area.bottom()) {
            addShape(path, shape, scale, origin, closed);
        } else if (closed) {
            if (const std::vector<QPointF> ring = ringInside(shape, area); !ring.empty()) {
                addShape(path, ring, scale, origin, true);
            }
        } else {
            for (const std::vector<QPointF>& line : linesInside(shape, area)) {
                addShape(path, line, scale, origin, false);
            }
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
                QColor(0x6e, 0x6c, 0x7c), QColor(0xc8, 0xc8, 0xcc), QColor(0x1d, 0x27, 0x33, 200),
                QColor(0x2a, 0x2c, 0x30)};
    }
    return {QColor(0xaa, 0xd3, 0xe6), QColor(0xf3, 0xf0, 0xe8), QColor(0x86, 0xae, 0xc6),
            QColor(0xa3, 0x95, 0xb0), QColor(0x4a, 0x4a, 0x52), QColor(0xff, 0xff, 0xff, 210),
            QColor(0xe3, 0xe2, 0xdf)};
}

QImage BaseMapRenderer::render(const TileKey& key, double devicePixelRatio) const
{
    return draw(key, devicePixelRatio, data_ ? placementAt(key.zoom).get() : nullptr);
}

QImage BaseMapRenderer::draft(const TileKey& key, double devicePixelRatio, bool& named) const
{
    const std::shared_ptr<const LabelPlacement> names = data_ ? placedAt(key.zoom) : nullptr;
    named = names || !data_;
    return draw(key, devicePixelRatio, names.get());
}

bool BaseMapRenderer::placeNames(int zoom) const
{
    if (!data_) {
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        if (placements_.contains(zoom) || !placing_.insert(zoom).second) {
            return false;
        }
    }
    keep(zoom, std::make_shared<const LabelPlacement>(*data_, zoom));
    return true;
}

QImage BaseMapRenderer::draw(const TileKey& key, double devicePixelRatio, const LabelPlacement* names) const
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

    if (names) {
        for (const LabelPlacement::Placed* placed : names->onTile(key.x, key.y)) {
            drawName(painter, *placed, origin, colors);
        }
    }
    painter.end();
    // A painted image keeps its paint engine, and with it the engine's
    // buffers for the largest outline it filled (megabytes for a coast at a
    // fine zoom), for as long as the image lives. The map keeps a copy
    // without them.
    return image.copy();
}

void BaseMapRenderer::drawName(QPainter& painter, const LabelPlacement::Placed& placed, QPointF origin,
                               const BaseMapColors& colors) const
{
    const QFont font = LabelPlacement::font(placed.country);
    const QRectF box = placed.box.translated(-origin);
    const BaseMapData::Labels& labels = placed.country ? data_->countries() : data_->cities();
    QPainterPath text;
    text.addText(box.left(), box.top() + QFontMetricsF(font).ascent(), font,
                 QString::fromUtf8(labels.nameBytes(placed.label)));
    painter.strokePath(text, QPen(colors.halo, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(text, colors.label);
    if (!placed.country) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colors.label);
        painter.drawEllipse(placed.anchor - origin, LabelPlacement::cityDotRadius, LabelPlacement::cityDotRadius);
    }
}

std::vector<BaseMapData::Label> BaseMapRenderer::citiesShown(int zoom, const MapRect& area) const
{
    std::vector<BaseMapData::Label> shown;
    if (!data_) {
        return shown;
    }
    for (const LabelPlacement::Placed& placed : placementAt(zoom)->placed()) {
        if (!placed.country && area.contains(data_->cities().point(placed.label))) {
            shown.push_back(data_->cities()[placed.label]);
        }
    }
    return shown;
}

std::shared_ptr<const LabelPlacement> BaseMapRenderer::placedAt(int zoom) const
{
    const std::lock_guard lock(mutex_);
    const auto found = placements_.find(zoom);
    return found != placements_.end() ? found->second : nullptr;
}

std::shared_ptr<const LabelPlacement> BaseMapRenderer::placementAt(int zoom) const
{
    if (std::shared_ptr<const LabelPlacement> placed = placedAt(zoom)) {
        return placed;
    }
    // Placing runs outside the lock; two tiles of a new zoom may both place,
    // and the second result simply replaces the first, equal one.
    auto placement = std::make_shared<const LabelPlacement>(*data_, zoom);
    keep(zoom, placement);
    return placement;
}

void BaseMapRenderer::keep(int zoom, std::shared_ptr<const LabelPlacement> placement) const
{
    const std::lock_guard lock(mutex_);
    placing_.erase(zoom);
    placements_[zoom] = std::move(placement);
    std::erase(placementOrder_, zoom);
    placementOrder_.push_back(zoom);
    std::size_t bytes = 0;
    for (const auto& [kept, held] : placements_) {
        bytes += held->bytes();
    }
    while (placementOrder_.size() > keptPlacements || (placementOrder_.size() > 1 && bytes > keptPlacementBytes)) {
        bytes -= placements_[placementOrder_.front()]->bytes();
        placements_.erase(placementOrder_.front());
        placementOrder_.erase(placementOrder_.begin());
    }
}

} // namespace pivra
