#pragma once

#include "media/MediaFile.h"
#include "media/formats/IsoBoxes.h"

#include <QByteArray>

#include <cstdint>

namespace pivra {

// Up to `most` bytes of the data of `item` of a HEIF's meta box `meta`, where
// its item locations ('iloc') put it: in the file, or in the meta box's own
// data ('idat'). Empty when they do not say.
QByteArray heifItemData(const MediaFile& file, const IsoBox& meta, std::uint32_t item, std::int64_t most);

} // namespace pivra
