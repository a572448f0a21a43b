#include "support/files/PngChunk.h"

#include <QtEndian>

#include <cstdint>

namespace pivra::test {
namespace {

std::uint32_t crc32(QByteArrayView bytes, std::uint32_t crc = 0xFFFFFFFFu)
{
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return crc;
}

} // namespace

QByteArray pngChunk(QByteArrayView type, QByteArrayView data)
{
    QByteArray chunk(4, Qt::Uninitialized);
    qToBigEndian(std::uint32_t(data.size()), chunk.data());
    chunk.append(type);
    chunk.append(data);
    const std::uint32_t checksum = ~crc32(data, crc32(type));
    QByteArray trailer(4, Qt::Uninitialized);
    qToBigEndian(checksum, trailer.data());
    return chunk + trailer;
}

} // namespace pivra::test
