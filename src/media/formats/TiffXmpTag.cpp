#include "media/formats/TiffXmpTag.h"

#include <QByteArray>
#include <QtEndian>

namespace pivra {
namespace {

constexpr std::uint16_t xmpTag = 700;
constexpr int entrySize = 12;
// A first directory of more entries than this is no camera's; it is read as it is.
constexpr int mostEntries = 1000;

} // namespace

std::optional<TiffTagNumber> tiffXmpTag(const MediaFile& file)
{
    const QByteArray header = file.read(0, 8);
    if (header.size() < 8 || (!header.startsWith("II") && !header.startsWith("MM"))) {
        return std::nullopt;
    }
    const bool bigEndian = header.startsWith("MM");
    const auto number16 = [bigEndian](const char* bytes) {
        return bigEndian ? qFromBigEndian<quint16>(bytes) : qFromLittleEndian<quint16>(bytes);
    };
    const std::int64_t directory
        = bigEndian ? qFromBigEndian<quint32>(header.constData() + 4) : qFromLittleEndian<quint32>(header.constData() + 4);
    const QByteArray count = file.read(directory, 2);
    if (count.size() < 2 || number16(count.constData()) > mostEntries) {
        return std::nullopt;
    }
    const int entries = number16(count.constData());
    const QByteArray table = file.read(directory + 2, std::int64_t(entries) * entrySize);
    for (int entry = 0; entry * entrySize + 2 <= table.size(); ++entry) {
        if (number16(table.constData() + entry * entrySize) == xmpTag) {
            return TiffTagNumber{directory + 2 + std::int64_t(entry) * entrySize, bigEndian};
        }
    }
    return std::nullopt;
}

} // namespace pivra
