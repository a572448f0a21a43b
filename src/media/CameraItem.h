#pragma once

#include "catalog/MediaItem.h"

#include <QLatin1StringView>

namespace pivra {

// An item of a connected device: its path is "pivra-camera://<source>/<handle>/<name>"
// and no file lies behind it, so every file operation asks this first.
inline bool isCameraItem(const MediaItem& item)
{
    return item.path().startsWith(QLatin1StringView("pivra-camera://"));
}

} // namespace pivra
