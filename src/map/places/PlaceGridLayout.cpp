#include "map/places/PlaceGridLayout.h"

#include <algorithm>
#include <cmath>

namespace pivra {

void PlaceGridLayout::setCounts(std::vector<int> counts)
{
    counts_ = std::move(counts);
    dirty_ = true;
}

void PlaceGridLayout::setBar(bool shown)
{
    dirty_ = dirty_ || shown != bar_;
    bar_ = shown;
}

// Columns as an adaptive grid makes them: as many of the smallest width as
// fit, then widened to share the row, never past the largest.
void PlaceGridLayout::prepare(double width)
{
    if (!dirty_ && width == width_) {
        return;
    }
    dirty_ = false;
    width_ = width;
    const double usable = std::max(width - 2 * sidePadding, minTile);
    columns_ = std::max(1, int(std::floor((usable + spacing) / (minTile + spacing))));
    side_ = std::min(maxTile, (usable - spacing * (columns_ - 1)) / columns_);
    tops_.resize(counts_.size() + 1);
    double y = bar_ ? barTop + barHeight + barBottom : 0;
    for (std::size_t section = 0; section < counts_.size(); ++section) {
        tops_[section] = y;
        y += sectionHeight(counts_[section]);
    }
    tops_.back() = y;
    height_ = y + bottomPadding;
}

double PlaceGridLayout::sectionHeight(int count) const
{
    const int rows = (count + columns_ - 1) / columns_;
    const double grid = rows > 0 ? rows * side_ + (rows - 1) * spacing : 0;
    return dividerTop + 1 + spacing + headerHeight + spacing + grid + sectionBottom;
}

QRectF PlaceGridLayout::barRect() const
{
    return {sidePadding, barTop, std::max(width_ - 2 * sidePadding, 0.0), barHeight};
}

QRectF PlaceGridLayout::sectionRect(int section) const
{
    const double top = tops_[std::size_t(section)];
    return {sidePadding, top, std::max(width_ - 2 * sidePadding, 0.0), tops_[std::size_t(section) + 1] - top};
}

QRectF PlaceGridLayout::headerRect(int section) const
{
    return {sidePadding, dividerY(section) + 1 + spacing, std::max(width_ - 2 * sidePadding, 0.0), headerHeight};
}

QRectF PlaceGridLayout::tileRect(int section, int offset) const
{
    const int row = offset / columns_;
    const int column = offset % columns_;
    return {sidePadding + column * (side_ + spacing), gridTop(section) + row * (side_ + spacing), side_, side_};
}

std::pair<int, int> PlaceGridLayout::sectionsIn(double top, double bottom) const
{
    if (counts_.empty()) {
        return {0, 0};
    }
    const auto sections = tops_.begin() + std::ptrdiff_t(counts_.size());
    // The section holding `top` is the last one starting at or above it.
    const int first = std::max(0, int(std::upper_bound(tops_.begin(), sections, top) - tops_.begin()) - 1);
    const int end = int(std::lower_bound(tops_.begin(), sections, bottom) - tops_.begin());
    return {first, std::max(first, end)};
}

std::vector<PlaceGridLayout::Tile> PlaceGridLayout::tilesIn(const QRectF& rect) const
{
    std::vector<Tile> tiles;
    const auto [first, end] = sectionsIn(rect.top(), rect.bottom());
    const double pitch = side_ + spacing;
    for (int section = first; section < end; ++section) {
        const int count = counts_[std::size_t(section)];
        const int rows = (count + columns_ - 1) / columns_;
        const double top = gridTop(section);
        const int firstRow = std::clamp(int(std::floor((rect.top() - top) / pitch)), 0, rows);
        const int endRow = std::clamp(int(std::ceil((rect.bottom() - top) / pitch)), 0, rows);
        for (int offset = firstRow * columns_; offset < std::min(count, endRow * columns_); ++offset) {
            const QRectF tile = tileRect(section, offset);
            if (tile.intersects(rect)) {
                tiles.push_back({section, offset, tile});
            }
        }
    }
    return tiles;
}

std::optional<PlaceGridLayout::Tile> PlaceGridLayout::tileAt(QPointF point) const
{
    for (const Tile& tile : tilesIn(QRectF(point, QSizeF(1, 1)))) {
        if (tile.rect.contains(point)) {
            return tile;
        }
    }
    return std::nullopt;
}

std::optional<int> PlaceGridLayout::headerAt(QPointF point) const
{
    const auto [first, end] = sectionsIn(point.y(), point.y() + 1);
    for (int section = first; section < end; ++section) {
        if (headerRect(section).contains(point)) {
            return section;
        }
    }
    return std::nullopt;
}

} // namespace pivra
