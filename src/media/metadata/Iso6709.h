#pragma once

#include "media/metadata/Location.h"

#include <QString>
#include <optional>

namespace pivra {

// Reads latitude and longitude from an ISO 6709 text such as
// "+37.3349-122.0090+000.000/". A number counts only when a sign or "/"
// follows it, so a text cut after the longitude gives nothing; altitude and
// anything after "/" are never read. Degree-and-minute forms are read as plain
// decimals and then fail the range test.
std::optional<GeoLocation> iso6709(QStringView text);

} // namespace pivra
