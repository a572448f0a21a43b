#include "catalog/model/MediaKind.h"

namespace pivra {

QString rawValue(MediaKind kind)
{
    return kind == MediaKind::image ? QStringLiteral("image") : QStringLiteral("video");
}

std::optional<MediaKind> mediaKindFromRaw(QStringView raw)
{
    if (raw == u"image") {
        return MediaKind::image;
    }
    if (raw == u"video") {
        return MediaKind::video;
    }
    return std::nullopt;
}

QString rawValue(MediaFilter filter)
{
    switch (filter) {
    case MediaFilter::all:
        return QStringLiteral("All media");
    case MediaFilter::photos:
        return QStringLiteral("Photos");
    case MediaFilter::videos:
        return QStringLiteral("Videos");
    }
    return {};
}

std::optional<MediaFilter> mediaFilterFromRaw(QStringView raw)
{
    for (const MediaFilter filter : allMediaFilters) {
        if (raw == rawValue(filter)) {
            return filter;
        }
    }
    return std::nullopt;
}

std::optional<MediaKind> restrictedKind(MediaFilter filter)
{
    switch (filter) {
    case MediaFilter::photos:
        return MediaKind::image;
    case MediaFilter::videos:
        return MediaKind::video;
    case MediaFilter::all:
        break;
    }
    return std::nullopt;
}

} // namespace pivra
