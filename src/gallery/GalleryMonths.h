#pragma once

#include "catalog/model/MediaItem.h"
#include "gallery/JustifiedGalleryLayout.h"

#include <QLocale>
#include <QTimeZone>

#include <vector>

namespace pivra {

// What the layout needs of an item: width over height, upright as shown
// (an odd number of quarter turns swaps the sides); 1 when a side is unknown.
double itemAspect(const MediaItem& item);
std::vector<double> itemAspects(const std::vector<MediaItem>& items);

// A marker wherever the capture month (in `zone`) differs from the previous
// item's, titled with the stand-alone month name and the year in `locale`
// ("January 2024", "Ocak 2024"). Items come newest first, so each month is
// one run; a month that recurs after another gets a marker again.
std::vector<MonthMarker> monthMarkers(const std::vector<MediaItem>& items, const QLocale& locale = QLocale(),
                                      const QTimeZone& zone = QTimeZone::systemTimeZone());

} // namespace pivra
