#include "map/photos/PhotoClustering.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace pivra {

namespace {

// How much of the view's size is added on every side, so pins just out of
// view are already formed when the view moves onto them.
constexpr double areaGrowth = 0.2;

std::int64_t cellKey(MapPoint point, double cellSize)
{
    const auto column = static_cast<std::int64_t>(std::floor(point.x / cellSize));
    const auto row = static_cast<std::int64_t>(std::floor(point.y / cellSize));
    return (column << 32) ^ row;
}

// The point moved by whole worlds to the copy nearest `centerX`.
MapPoint nearestCopy(MapPoint point, double centerX)
{
    return {point.x + std::round((centerX - point.x) / mapWorldSize) * mapWorldSize, point.y};
}

} // namespace

std::vector<ClusterDraft> clusterPhotos(std::span<const MapPoint> points, std::span<const double> captureDates,
                                        const MapRect& visible, double cellSize)
{
    if (visible.isNull() || visible.width <= 0 || visible.height <= 0 || !(cellSize > 0)) {
        return {};
    }
    const MapRect area = visible.grown(areaGrowth * visible.width, areaGrowth * visible.height);
    const double centerX = visible.center().x;

    std::vector<ClusterDraft> cells;
    std::unordered_map<std::int64_t, std::size_t> cellIndex;
    for (std::size_t index = 0; index < points.size(); ++index) {
        const MapPoint point = nearestCopy(points[index], centerX);
        if (!area.contains(point)) {
            continue;
        }
        const auto [found, added] = cellIndex.try_emplace(cellKey(point, cellSize), cells.size());
        if (added) {
            cells.push_back({int(index), point, {int(index)}, MapRect::at(point)});
        } else {
            ClusterDraft& cell = cells[found->second];
            cell.members.push_back(int(index));
            cell.bounds = cell.bounds.united(MapRect::at(point));
        }
    }

    std::stable_sort(cells.begin(), cells.end(), [&](const ClusterDraft& a, const ClusterDraft& b) {
        return captureDates[std::size_t(a.photo)] > captureDates[std::size_t(b.photo)];
    });

    std::vector<ClusterDraft> pins;
    for (ClusterDraft& cell : cells) {
        const auto near = std::find_if(pins.begin(), pins.end(), [&](const ClusterDraft& pin) {
            return std::hypot(pin.point.x - cell.point.x, pin.point.y - cell.point.y) < cellSize;
        });
        if (near == pins.end()) {
            pins.push_back(std::move(cell));
            continue;
        }
        near->members.insert(near->members.end(), cell.members.begin(), cell.members.end());
        near->bounds = near->bounds.united(cell.bounds);
    }
    return pins;
}

} // namespace pivra
