#include "platform/cameras/MovieIndex.h"

#include <QtEndian>

namespace pivra {
namespace {

constexpr int shortHeaderBytes = 8;  // 32-bit size and type
constexpr int longHeaderBytes = 16;  // and a 64-bit size after them
// A file of many small boxes is no movie a phone or camera wrote; stop
// rather than read header after header from the device.
constexpr int maxBoxes = 64;

bool isBoxType(QByteArrayView type)
{
    for (const char c : type) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte > 0x7e) && byte != 0xa9) { // QuickTime's own types begin with '©'
            return false;
        }
    }
    return true;
}

// The box whose header `bytes` begin with, at `offset`; none when they are no
// box header or the box would not end inside the file.
std::optional<BoxExtent> boxAt(QByteArrayView bytes, std::int64_t offset, std::int64_t fileSize)
{
    if (bytes.size() < shortHeaderBytes || !isBoxType(bytes.sliced(4, 4))) {
        return std::nullopt;
    }
    std::int64_t size = qFromBigEndian<quint32>(bytes.data());
    int headerBytes = shortHeaderBytes;
    if (size == 1) {
        if (bytes.size() < longHeaderBytes) {
            return std::nullopt;
        }
        const quint64 longSize = qFromBigEndian<quint64>(bytes.data() + shortHeaderBytes);
        size = longSize > quint64(INT64_MAX) ? -1 : std::int64_t(longSize);
        headerBytes = longHeaderBytes;
    } else if (size == 0) {
        size = fileSize - offset; // the last box, to the end of the file
    }
    if (size < headerBytes || size > fileSize - offset) {
        return std::nullopt;
    }
    return BoxExtent{offset, size};
}

} // namespace

std::optional<BoxExtent> findMovieIndex(const QByteArray& head, std::int64_t fileSize, const IsoByteReader& read)
{
    std::int64_t offset = 0;
    for (int boxes = 0; boxes < maxBoxes && offset < fileSize; ++boxes) {
        std::optional<QByteArray> header;
        if (offset + longHeaderBytes <= head.size()) {
            header = head.mid(offset, longHeaderBytes);
        } else {
            header = read(offset, longHeaderBytes);
        }
        const std::optional<BoxExtent> box = header ? boxAt(*header, offset, fileSize) : std::nullopt;
        if (!box) {
            return std::nullopt;
        }
        if (QByteArrayView(*header).sliced(4, 4) == "moov") {
            return box;
        }
        offset += box->size;
    }
    return std::nullopt;
}

} // namespace pivra
