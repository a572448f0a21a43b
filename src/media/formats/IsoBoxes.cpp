#include "media/formats/IsoBoxes.h"

#include <QtEndian>

namespace pivra {

std::optional<IsoBox> isoBoxAt(const MediaFile& file, std::int64_t offset, std::int64_t limit)
{
    const QByteArray header = file.read(offset, 16);
    if (header.size() < 8) {
        return std::nullopt;
    }
    std::uint64_t size = qFromBigEndian<quint32>(header.constData());
    std::int64_t headerSize = 8;
    if (size == 1) {
        if (header.size() < 16) {
            return std::nullopt;
        }
        size = qFromBigEndian<quint64>(header.constData() + 8);
        headerSize = 16;
    }
    if (size < std::uint64_t(headerSize) || size > std::uint64_t(limit - offset)) {
        return std::nullopt;
    }
    return IsoBox{offset, offset + headerSize, offset + std::int64_t(size), header.mid(4, 4)};
}

} // namespace pivra
