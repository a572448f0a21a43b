// Outlines cut to a tile's box before they are drawn: what is inside stays
// as it was, and nothing outside is kept.
#include "map/basemap/ShapeClip.h"

#include <QPainterPath>
#include <QPolygonF>
#include <gtest/gtest.h>

namespace pivra {
namespace {

const QRectF box(0, 0, 10, 10);

// The region a ring fills, even-odd, as a path.
QPainterPath filled(const std::vector<QPointF>& ring)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addPolygon(QPolygonF(QList<QPointF>(ring.begin(), ring.end())));
    path.closeSubpath();
    return path;
}

TEST(ShapeClipTest, ARingKeepsWhatItFillsInsideTheBox)
{
    struct Row {
        const char* name;
        QPolygonF ring;
        std::vector<QPointF> inside;  // points the cut ring fills
        std::vector<QPointF> outside; // points it does not
        bool empty;
    };
    const Row rows[] = {
        {"within", QPolygonF({{2, 2}, {8, 2}, {8, 8}, {2, 8}}), {{5, 5}}, {{1, 1}}, false},
        {"around the box", QPolygonF({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}}), {{0.5, 0.5}, {9.5, 9.5}}, {}, false},
        {"apart", QPolygonF({{20, 20}, {30, 20}, {30, 30}}), {}, {}, true},
        // A U open to the top, its arms leaving the box and its bottom
        // outside it: two pieces of arm inside, the gap between them empty.
        {"leaving and coming back",
         QPolygonF({{1, -5}, {4, -5}, {4, 20}, {6, 20}, {6, -5}, {9, -5}, {9, 30}, {1, 30}}),
         {{2, 5}, {8, 5}},
         {{5, 5}, {0.5, 5}, {9.5, 5}},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<QPointF> cut = ringInside(row.ring, box);
        ASSERT_EQ(cut.empty(), row.empty);
        for (const QPointF& point : cut) {
            EXPECT_TRUE(box.adjusted(-1e-9, -1e-9, 1e-9, 1e-9).contains(point)) << point.x() << "," << point.y();
        }
        for (const QPointF& point : row.inside) {
            EXPECT_TRUE(filled(cut).contains(point)) << point.x() << "," << point.y();
        }
        for (const QPointF& point : row.outside) {
            EXPECT_FALSE(filled(cut).contains(point)) << point.x() << "," << point.y();
        }
    }
}

TEST(ShapeClipTest, ALineIsCutIntoThePiecesInsideTheBox)
{
    // In, out over the right edge, back in, and out over the bottom.
    const QPolygonF line({{2, 2}, {20, 2}, {20, 6}, {4, 6}, {4, 20}});
    const std::vector<std::vector<QPointF>> pieces = linesInside(line, box);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], (std::vector<QPointF>{{2, 2}, {10, 2}}));
    EXPECT_EQ(pieces[1], (std::vector<QPointF>{{10, 6}, {4, 6}, {4, 10}}));
    EXPECT_TRUE(linesInside(QPolygonF({{20, 20}, {30, 30}}), box).empty());
    // Along an edge counts as inside.
    EXPECT_EQ(linesInside(QPolygonF({{0, -5}, {0, 15}}), box).size(), 1u);
}

} // namespace
} // namespace pivra
