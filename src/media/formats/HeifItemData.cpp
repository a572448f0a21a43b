#include "media/formats/HeifItemData.h"

#include <algorithm>
#include <optional>

namespace pivra {
namespace {

// A big-endian number of `size` bytes (0 to 8) at `at`, and `at` moved past it.
std::optional<std::uint64_t> number(const QByteArray& bytes, qsizetype& at, int size)
{
    if (size < 0 || size > 8 || at + size > bytes.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (int byte = 0; byte < size; ++byte) {
        value = value << 8 | std::uint8_t(bytes[at++]);
    }
    return value;
}

struct Extent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct Location {
    int method = 0; // 0 in the file, 1 in 'idat'
    std::uint64_t base = 0;
    QList<Extent> extents;
};

std::optional<Location> locationOf(const QByteArray& iloc, std::uint32_t item)
{
    qsizetype at = 0;
    const std::optional<std::uint64_t> versionAndFlags = number(iloc, at, 4);
    const std::optional<std::uint64_t> sizes = number(iloc, at, 2);
    if (!versionAndFlags || !sizes) {
        return std::nullopt;
    }
    const int version = int(*versionAndFlags >> 24);
    const int offsetSize = int(*sizes >> 12 & 15);
    const int lengthSize = int(*sizes >> 8 & 15);
    const int baseSize = int(*sizes >> 4 & 15);
    const int indexSize = version >= 1 ? int(*sizes & 15) : 0;
    const int idSize = version < 2 ? 2 : 4;
    const std::uint64_t count = number(iloc, at, idSize).value_or(0);
    for (std::uint64_t entry = 0; entry < count; ++entry) {
        Location location;
        const std::optional<std::uint64_t> id = number(iloc, at, idSize);
        const std::optional<std::uint64_t> method = version >= 1 ? number(iloc, at, 2) : std::uint64_t(0);
        const std::optional<std::uint64_t> reference = number(iloc, at, 2);
        const std::optional<std::uint64_t> base = number(iloc, at, baseSize);
        const std::optional<std::uint64_t> extents = number(iloc, at, 2);
        if (!id || !method || !reference || !base || !extents) {
            return std::nullopt;
        }
        location.method = int(*method & 15);
        location.base = *base;
        for (std::uint64_t extent = 0; extent < *extents; ++extent) {
            const std::optional<std::uint64_t> index = number(iloc, at, indexSize);
            const std::optional<std::uint64_t> offset = number(iloc, at, offsetSize);
            const std::optional<std::uint64_t> length = number(iloc, at, lengthSize);
            if (!index || !offset || !length) {
                return std::nullopt;
            }
            location.extents.append({*offset, *length});
        }
        if (*id == item) {
            return location;
        }
    }
    return std::nullopt;
}

} // namespace

HeifItemLocations::HeifItemLocations(const IsoFileHead& file, const IsoBox& meta) : fileSize_(file.size())
{
    constexpr std::int64_t largestLocations = 1 << 20;
    forEachIsoBox(file, meta.payload + 4, meta.end, "iloc", [&](const IsoBox& iloc) {
        locations_ = file.read(iloc.payload, std::min(iloc.end - iloc.payload, largestLocations));
    });
    forEachIsoBox(file, meta.payload + 4, meta.end, "idat", [&](const IsoBox& box) { itemData_ = box; });
}

std::optional<QList<HeifItemLocations::Extent>> HeifItemLocations::extentsOf(std::uint32_t item) const
{
    const std::optional<Location> location = locationOf(locations_, item);
    if (!location || location->method > 1 || (location->method == 1 && !itemData_)) {
        return std::nullopt;
    }
    // Data in 'idat' counts from its payload and may not leave it.
    const std::int64_t start = location->method == 1 ? itemData_->payload : 0;
    const std::int64_t end = location->method == 1 ? itemData_->end : fileSize_;
    QList<Extent> extents;
    for (const auto& [offset, length] : location->extents) {
        const std::uint64_t room = std::uint64_t(end - start);
        if (location->base > room || offset > room - location->base) {
            return std::nullopt;
        }
        const std::int64_t from = start + std::int64_t(location->base + offset);
        // A length of 0 runs to the end.
        const std::int64_t to = length == 0 || length > std::uint64_t(end - from) ? end : from + std::int64_t(length);
        extents.append({from, to});
    }
    return extents;
}

QByteArray HeifItemLocations::read(const IsoFileHead& file, std::uint32_t item, std::int64_t most) const
{
    QByteArray data;
    for (const Extent& extent : extentsOf(item).value_or(QList<Extent>())) {
        if (data.size() >= most) {
            break;
        }
        data += file.read(extent.start, std::min(extent.end - extent.start, most - std::int64_t(data.size())));
    }
    return data;
}

} // namespace pivra
