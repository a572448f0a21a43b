#pragma once

#include "catalog/model/MediaItem.h"

#include <utility>

namespace pivra {

// A located photo for the map, identified by its item's id. Its fields cannot
// change after construction (a moved photo is a new MapPhoto), but the value as
// a whole stays assignable so lists of map photos can be replaced.
class MapPhoto {
public:
    MapPhoto(MediaItem item, double latitude, double longitude)
        : item_(std::move(item)), latitude_(latitude), longitude_(longitude)
    {
    }

    const MediaItem& item() const { return item_; }
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    QString id() const { return item_.id(); }

private:
    MediaItem item_;
    double latitude_;
    double longitude_;
};

} // namespace pivra
