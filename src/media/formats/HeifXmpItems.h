#pragma once

#include "media/MediaFile.h"

#include <cstdint>
#include <vector>

namespace pivra {

// Where, in a HEIF file, the item names lie that exiv2 takes for an XMP
// packet: the offsets of the four bytes "mime" in each item information entry
// it reads, found by walking the boxes the way exiv2 walks them. exiv2
// decodes that packet under one lock for the whole process, and nothing the
// catalog keeps comes from XMP, so a reader that shows exiv2 these bytes
// changed has the scan's inspections read HEIC photos side by side. Empty for
// other files and for a HEIF without such an item.
std::vector<std::int64_t> heifXmpItemNames(const MediaFile& file);

} // namespace pivra
