#include "support/files/Bombs.h"

#include "support/files/HeicMaker.h"
#include "support/files/PngChunk.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <array>

#include <fcntl.h>
#include <unistd.h>

namespace pivra::test {
namespace {

QByteArray encoded(const char* format, bool progressive = false)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A real PNG whose IHDR chunk is rewritten to the new size, CRC included.
QByteArray pngBomb(int side)
{
    QByteArray png = encoded("PNG");
    constexpr int ihdrStart = 8; // after the signature
    constexpr int ihdrData = ihdrStart + 8; // length, "IHDR"
    QByteArray header = png.mid(ihdrData, 13);
    qToBigEndian(std::uint32_t(side), header.data());
    qToBigEndian(std::uint32_t(side), header.data() + 4);
    return png.replace(ihdrStart, 8 + 13 + 4, pngChunk("IHDR", header));
}

// A real JPEG whose frame header (SOF0, or SOF2 when progressive) declares the new size.
QByteArray jpegBomb(int side, bool progressive = false)
{
    QByteArray jpeg = encoded("JPG", progressive);
    const qsizetype frame = jpeg.indexOf(progressive ? "\xFF\xC2" : "\xFF\xC0");
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

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

bool writeBomb(const QString& path, int side)
{
    const QString format = QFileInfo(path).suffix();
    return writeBytes(path, format == "gif" ? gifBomb(side) : format == "png" ? pngBomb(side) : jpegBomb(side));
}

bool writeHeicBomb(const QString& path, int side)
{
    return makeHeic(path, QSize(64, 64)) && stateHeicSize(path, QSize(side, side));
}

bool writeProgressiveJpegBomb(const QString& path, int side)
{
    return writeBytes(path, jpegBomb(side, true));
}

QStringList bombNames()
{
    return {QStringLiteral("bomb.gif"), QStringLiteral("bomb.png"), QStringLiteral("bomb.jpg")};
}

QByteArray svgReading(const QString& target)
{
    return QByteArrayLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                             "width=\"300\" height=\"200\"><image width=\"300\" height=\"200\" xlink:href=\"") +
           target.toHtmlEscaped().toUtf8() + QByteArrayLiteral("\"/></svg>\n");
}

void releaseFifoReaders(const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

namespace {

// A figure of /proc/self/status ("VmHWM:"), in bytes; -1 when unread.
std::int64_t statusBytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(field.size()).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    return -1;
}

} // namespace

std::int64_t peakMemory()
{
    return statusBytes("VmHWM:");
}

std::int64_t anonymousMemory()
{
    return statusBytes("RssAnon:");
}

} // namespace pivra::test
