#include "map/MapStyle.h"

#include <array>

namespace pivra {

namespace {

constexpr std::array styles{MapStyle::map, MapStyle::satellite, MapStyle::grid};

} // namespace

QString rawValue(MapStyle style)
{
    switch (style) {
    case MapStyle::map:
        return QStringLiteral("map");
    case MapStyle::satellite:
        return QStringLiteral("satellite");
    case MapStyle::grid:
        return QStringLiteral("grid");
    }
    return {};
}

std::optional<MapStyle> mapStyleFrom(const QString& raw)
{
    for (const MapStyle style : styles) {
        if (rawValue(style) == raw) {
            return style;
        }
    }
    return std::nullopt;
}

} // namespace pivra
