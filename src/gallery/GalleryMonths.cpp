#include "gallery/GalleryMonths.h"

#include <QDateTime>

#include <cmath>

namespace pivra {

double itemAspect(const MediaItem& item)
{
    if (item.width() < 1 || item.height() < 1) {
        return 1;
    }
    const double width = item.width();
    const double height = item.height();
    return item.rotationQuarters() % 2 != 0 ? height / width : width / height;
}

std::vector<double> itemAspects(const std::vector<MediaItem>& items)
{
    std::vector<double> aspects;
    aspects.reserve(items.size());
    for (const MediaItem& item : items) {
        aspects.push_back(itemAspect(item));
    }
    return aspects;
}

std::vector<MonthMarker> monthMarkers(const std::vector<MediaItem>& items, const QLocale& locale,
                                      const QTimeZone& zone)
{
    std::vector<MonthMarker> markers;
    // Converting a time in a zone is slow; items of one month come in runs,
    // so only a time outside the current month's span is converted.
    qint64 spanStart = 0;
    qint64 spanEnd = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const double seconds = items[i].captureDate();
        const qint64 milliseconds = std::isfinite(seconds) ? static_cast<qint64>(std::floor(seconds * 1000)) : 0;
        if (i > 0 && milliseconds >= spanStart && milliseconds < spanEnd) {
            continue;
        }
        const QDate date = QDateTime::fromMSecsSinceEpoch(milliseconds, zone).date();
        const QDate first(date.year(), date.month(), 1);
        spanStart = QDateTime(first, QTime(0, 0), zone).toMSecsSinceEpoch();
        spanEnd = QDateTime(first.addMonths(1), QTime(0, 0), zone).toMSecsSinceEpoch();
        const QString title = locale.standaloneMonthName(date.month(), QLocale::LongFormat) + u' ' +
                              QString::number(date.year());
        if (markers.empty() || markers.back().title != title) {
            markers.push_back({static_cast<int>(i), title});
        }
    }
    return markers;
}

} // namespace pivra
