#include "support/Bombs.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QtEndian>

#include <array>

namespace pivra::test {
namespace {

std::uint32_t crc32(const QByteArray& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

QByteArray bigEndian(std::uint32_t value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray encoded(const char* format)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A real PNG whose IHDR chunk is rewritten to the new size, CRC included.
QByteArray pngBomb(int side)
{
    QByteArray png = encoded("PNG");
    constexpr int ihdrData = 16; // signature, length, "IHDR"
    qToBigEndian(std::uint32_t(side), png.data() + ihdrData);
    qToBigEndian(std::uint32_t(side), png.data() + ihdrData + 4);
    png.replace(ihdrData + 13, 4, bigEndian(crc32(png.mid(ihdrData - 4, 17))));
    return png;
}

// A real JPEG whose frame header (SOF0) declares the new size.
QByteArray jpegBomb(int side)
{
    QByteArray jpeg = encoded("JPG");
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    if (frame < 0) {
        return {};
    }
    qToBigEndian(std::uint16_t(side), jpeg.data() + frame + 5); // height, then width
    qToBigEndian(std::uint16_t(side), jpeg.data() + frame + 7);
    return jpeg;
}

// A GIF whose screen and one frame are side × side, holding a clear code
// and the end code of an empty LZW stream.
QByteArray gifBomb(int side)
{
    QByteArray gif("GIF89a");
    const auto little = [&gif](int value) {
        gif.append(char(value & 0xFF));
        gif.append(char((value >> 8) & 0xFF));
    };
    little(side);
    little(side);
    gif.append("\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF", 9); // a two-colour table
    gif.append('\x2C');
    little(0);
    little(0);
    little(side);
    little(side);
    gif.append("\x00\x02\x02\x4C\x01\x00\x3B", 7);
    return gif;
}

} // namespace

bool writeBomb(const QString& path, int side)
{
    const QString format = QFileInfo(path).suffix();
    const QByteArray bytes = format == "gif" ? gifBomb(side) : format == "png" ? pngBomb(side) : jpegBomb(side);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList bombNames()
{
    return {QStringLiteral("bomb.gif"), QStringLiteral("bomb.png"), QStringLiteral("bomb.jpg")};
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

std::int64_t peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    return -1;
}

} // namespace pivra::test
