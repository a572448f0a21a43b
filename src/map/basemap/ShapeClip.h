#pragma once

#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <vector>

namespace pivra {

// Cuts the base map's outlines down to the box around one tile before they
// are drawn. Qt's rasteriser fills nothing at all for some outlines a few
// tiles across with tens of thousands of points (the coast of Eurasia at
// country zoom), so a tile drawn from the whole outline came out as sea; cut
// to the tile, an outline is small and quick to fill at any zoom.
//
// A shape is anything with size() and operator[] giving a QPointF.

// The part of a closed ring inside `box`, as one ring (Sutherland-Hodgman).
// Where the ring leaves the box and comes back, the cut runs along the box's
// edge; filled even-odd, such runs cancel out, and they lie in the margin
// around the tile that is never shown. Empty when nothing is inside.
template<typename Shape>
std::vector<QPointF> ringInside(const Shape& ring, const QRectF& box)
{
    std::vector<QPointF> points;
    points.reserve(std::size_t(ring.size()));
    for (qsizetype i = 0; i < qsizetype(ring.size()); ++i) {
        points.push_back(ring[i]);
    }
    // One pass per side: keep what lies on its inner side, and where an edge
    // crosses it, the crossing.
    const auto clip = [&points](auto inside, auto crossing) {
        if (points.empty()) {
            return;
        }
        std::vector<QPointF> kept;
        kept.reserve(points.size());
        QPointF previous = points.back();
        bool previousIn = inside(previous);
        for (const QPointF& point : points) {
            const bool in = inside(point);
            if (in != previousIn) {
                kept.push_back(crossing(previous, point));
            }
            if (in) {
                kept.push_back(point);
            }
            previous = point;
            previousIn = in;
        }
        points = std::move(kept);
    };
    const auto atX = [](double x) {
        return [x](QPointF a, QPointF b) { return QPointF(x, a.y() + (x - a.x()) / (b.x() - a.x()) * (b.y() - a.y())); };
    };
    const auto atY = [](double y) {
        return [y](QPointF a, QPointF b) { return QPointF(a.x() + (y - a.y()) / (b.y() - a.y()) * (b.x() - a.x()), y); };
    };
    clip([&](QPointF p) { return p.x() >= box.left(); }, atX(box.left()));
    clip([&](QPointF p) { return p.x() <= box.right(); }, atX(box.right()));
    clip([&](QPointF p) { return p.y() >= box.top(); }, atY(box.top()));
    clip([&](QPointF p) { return p.y() <= box.bottom(); }, atY(box.bottom()));
    if (points.size() < 3) {
        points.clear();
    }
    return points;
}

// The pieces of an open line inside `box` (each segment cut by
// Liang-Barsky), each of two points or more.
template<typename Shape>
std::vector<std::vector<QPointF>> linesInside(const Shape& line, const QRectF& box)
{
    std::vector<std::vector<QPointF>> pieces;
    bool joined = false; // the last piece ends where the next segment starts
    for (qsizetype i = 1; i < qsizetype(line.size()); ++i) {
        const QPointF a = line[i - 1];
        const QPointF b = line[i];
        const QPointF d = b - a;
        double from = 0;
        double to = 1;
        // Each side as (how fast the segment moves out through it, how far
        // inside its start is).
        const double sides[4][2] = {{-d.x(), a.x() - box.left()},
                                    {d.x(), box.right() - a.x()},
                                    {-d.y(), a.y() - box.top()},
                                    {d.y(), box.bottom() - a.y()}};
        bool visible = true;
        for (const auto& [outward, room] : sides) {
            if (outward == 0) {
                visible = visible && room >= 0;
            } else if (outward < 0) {
                from = std::max(from, room / outward);
            } else {
                to = std::min(to, room / outward);
            }
        }
        if (!visible || from > to) {
            joined = false;
            continue;
        }
        if (!joined || from > 0) {
            pieces.push_back({a + d * from});
        }
        pieces.back().push_back(a + d * to);
        joined = to == 1;
    }
    return pieces;
}

} // namespace pivra
