#pragma once

#include <QPointF>
#include <QRectF>

#include <optional>
#include <utility>
#include <vector>

namespace pivra {

// The geometry of the place grid, free of widgets: an optional selection bar,
// then one section per place group (a divider, a header line, and the
// group's photos as square tiles in as many columns as fit), top to bottom.
//
// Every section shares the column count and the tile side, so a section's
// height follows from its photo count alone; section tops are prefix sums,
// worked out again only when the counts or the width change, and every query
// starts with a binary search over them. Names arriving for a header change
// no height, so they never move what is on screen.
class PlaceGridLayout {
public:
    static constexpr double sidePadding = 20;
    static constexpr double bottomPadding = 24;
    static constexpr double spacing = 14; // between tiles, and between a section's parts
    static constexpr double minTile = 128;
    static constexpr double maxTile = 168;
    static constexpr double barTop = 18;
    static constexpr double barHeight = 26;
    static constexpr double barBottom = 4;
    static constexpr double dividerTop = 6;
    static constexpr double headerHeight = 22;
    static constexpr double sectionBottom = 10;

    struct Tile {
        int section = 0;
        int offset = 0; // position in its section
        QRectF rect;
    };

    void setCounts(std::vector<int> counts);
    void setBar(bool shown);
    void prepare(double width);

    int sectionCount() const { return int(counts_.size()); }
    int columns() const { return columns_; }
    double tileSide() const { return side_; }
    double contentHeight() const { return height_; }
    bool hasBar() const { return bar_; }
    QRectF barRect() const;

    QRectF sectionRect(int section) const;
    double dividerY(int section) const { return tops_[std::size_t(section)] + dividerTop; }
    QRectF headerRect(int section) const;
    QRectF tileRect(int section, int offset) const;

    // The first and one past the last section meeting the band [top, bottom).
    std::pair<int, int> sectionsIn(double top, double bottom) const;
    // Tiles meeting `rect`, in reading order.
    std::vector<Tile> tilesIn(const QRectF& rect) const;
    std::optional<Tile> tileAt(QPointF point) const;
    // The section whose header line holds `point`.
    std::optional<int> headerAt(QPointF point) const;

private:
    double gridTop(int section) const
    {
        return tops_[std::size_t(section)] + dividerTop + 1 + spacing + headerHeight + spacing;
    }
    double sectionHeight(int count) const;

    std::vector<int> counts_;
    std::vector<double> tops_; // one more than the sections: the last is where the padding starts
    bool bar_ = false;
    double width_ = -1;
    bool dirty_ = true;
    int columns_ = 1;
    double side_ = minTile;
    double height_ = 0;
};

} // namespace pivra
