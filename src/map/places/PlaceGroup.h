#pragma once

#include "catalog/model/MapPhoto.h"
#include "map/MapStyle.h"

#include <QString>

#include <vector>

namespace pivra {

// Photos taken close together in place and time: a run of the photo list it
// was made from, so a group holds no copies of its photos.
struct PlaceGroup {
    QString id;     // the item id of its first photo
    int first = 0;  // index of its first photo in the list
    int count = 0;  // how many photos follow on from there
    double latitude = 0;  // the first photo's place; photos joining never move it
    double longitude = 0;
    Timestamp newest = 0; // the first photo's capture date
    Timestamp oldest = 0; // the earliest capture date of its photos

    // Cuts `photos` (newest first) into groups in one pass: a photo joins the
    // last group when it lies within `radius` metres of that group's first
    // photo and is at most `gap` seconds older than the group's oldest photo;
    // otherwise it starts a group. Earlier groups are never reopened.
    static std::vector<PlaceGroup> make(const std::vector<MapPhoto>& photos, double radius, double gap);

    // The map area around every photo of the group, asked for once.
    MapFocus focus(const std::vector<MapPhoto>& photos) const;
};

// The distance in metres between two places along a sphere of the earth's
// mean radius.
double groundDistance(double latitude1, double longitude1, double latitude2, double longitude2);

} // namespace pivra
