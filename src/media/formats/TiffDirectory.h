#pragma once

#include "media/MediaFile.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace pivra {

// One entry of a TIFF directory.
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    std::int64_t offset = 0; // where the entry lies in the file
    // Its one SHORT, LONG or LONG8 value, when it holds exactly one.
    std::optional<std::int64_t> value;
};

// The first directory (IFD0) of a TIFF-based file (TIFF, DNG, most camera RAW
// formats), classic or BigTIFF, in either byte order, read without libtiff:
// the readers that need a tag or two of it run for every such file of a scan.
struct TiffDirectory {
    bool bigEndian = false;
    bool bigTiff = false;
    std::vector<TiffEntry> entries; // those the file holds whole

    const TiffEntry* find(std::uint16_t tag) const;
};

// Nothing for a file that is no TIFF (its magic or header does not match)
// and for a first directory that cannot be read or claims more entries than
// any camera writes.
std::optional<TiffDirectory> readTiffFirstDirectory(const MediaFile& file);
// The same of a TIFF structure in memory, such as the Exif a JPEG carries;
// entry offsets are then offsets into `bytes`.
std::optional<TiffDirectory> readTiffFirstDirectory(const QByteArray& bytes);

} // namespace pivra
