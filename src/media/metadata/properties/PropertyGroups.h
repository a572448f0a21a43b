#pragma once

#include "media/metadata/properties/ExivValues.h"

#include <QVariantMap>

namespace pivra {

// Adds the "{TIFF}", "{Exif}", "{GPS}" and "{MakerApple}" groups of the
// platform's property dictionary, with its key names and value shapes, from
// what exiv2 read. Groups without entries are left out.
void addExifGroups(const Exiv2::ExifData& exif, QVariantMap& properties);

// Adds the "{IPTC}" group, with the platform's key spellings
// ("Province/State", "Country/PrimaryLocationName"…).
void addIptcGroup(const Exiv2::IptcData& iptc, QVariantMap& properties);

} // namespace pivra
