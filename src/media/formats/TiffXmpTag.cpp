#include "media/formats/TiffXmpTag.h"

#include "media/formats/TiffDirectory.h"

namespace pivra {
namespace {

constexpr std::uint16_t xmpTag = 700;

} // namespace

std::optional<TiffTagNumber> tiffXmpTag(const MediaFile& file)
{
    const std::optional<TiffDirectory> directory = readTiffFirstDirectory(file);
    const TiffEntry* const entry = directory ? directory->find(xmpTag) : nullptr;
    if (!entry) {
        return std::nullopt;
    }
    return TiffTagNumber{entry->offset, directory->bigEndian};
}

} // namespace pivra
