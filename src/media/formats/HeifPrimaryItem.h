#pragma once

#include "media/MediaFile.h"

namespace pivra {

// Whether the primary image of a HEIF file is a grid of tiles, each coded as
// a picture of its own (as phones write their large photos), rather than one
// coded picture: a decoder holds a tile's picture at a time of the former,
// the whole picture of the latter. An identity item (a turned or mirrored
// view of another) is followed to the image it shows. False for other files
// and whenever the boxes do not say it with certainty.
bool heifPrimaryIsGrid(const MediaFile& file);

} // namespace pivra
