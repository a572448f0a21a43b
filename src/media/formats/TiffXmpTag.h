#pragma once

#include "media/MediaFile.h"

#include <cstdint>
#include <optional>

namespace pivra {

// Where, in a TIFF-based file (TIFF, DNG and most camera RAW formats), the
// first directory's XMP entry (tag 700) gives its tag number: exiv2 decodes
// the packet it points to under one lock for the whole process, and nothing
// the catalog keeps comes from XMP, so a reader that shows exiv2 another
// number there has the scan's inspections read such files side by side.
// Nothing for other files and for a first directory without that entry.
struct TiffTagNumber {
    std::int64_t offset = 0;
    bool bigEndian = false;
};
std::optional<TiffTagNumber> tiffXmpTag(const MediaFile& file);

// A tag number no reader knows, to show exiv2 in place of the XMP entry's:
// its entry then reads as an unknown tag, which the properties leave out.
inline constexpr std::uint16_t tiffUnknownTag = 0x02bd;

} // namespace pivra
