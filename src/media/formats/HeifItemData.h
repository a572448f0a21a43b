#pragma once

#include "media/MediaFile.h"
#include "media/formats/IsoBoxes.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

namespace pivra {

// Where the data of each item of a HEIF's meta box lies, as its item
// locations ('iloc') say: in the file, or in the meta box's own data ('idat').
class HeifItemLocations {
public:
    HeifItemLocations(const IsoFileHead& file, const IsoBox& meta);

    // One stretch of an item's data, in the file.
    struct Extent {
        std::int64_t start = 0;
        std::int64_t end = 0;
    };
    // The stretches the item's data is made of, in order, each within the
    // file (or its 'idat'); none when the locations do not say.
    std::optional<QList<Extent>> extentsOf(std::uint32_t item) const;
    // Up to `most` bytes of the item's data; empty when the locations do not say.
    QByteArray read(const IsoFileHead& file, std::uint32_t item, std::int64_t most) const;

private:
    QByteArray locations_;
    std::optional<IsoBox> itemData_;
    std::int64_t fileSize_ = 0;
};

} // namespace pivra
