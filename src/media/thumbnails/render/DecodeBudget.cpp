#include "media/thumbnails/render/DecodeBudget.h"

#include "media/MediaFile.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace pivra {
namespace {

constexpr std::int64_t unbounded = std::numeric_limits<std::int64_t>::max();

// a × b without overflow: a hostile header's numbers overflow any product.
std::int64_t product(std::int64_t a, std::int64_t b)
{
    if (a <= 0 || b <= 0) {
        return 0;
    }
    return a > unbounded / b ? unbounded : a * b;
}

std::int64_t bytesOf(std::int64_t width, std::int64_t rows, std::int64_t bytesPerPixel)
{
    return product(product(width, rows), bytesPerPixel);
}

// TIFF directory entries, read from a file of either byte order, in the
// classic layout (12-byte entries, 4-byte values) or BigTIFF's (20, 8).
class TiffReader {
public:
    explicit TiffReader(const MediaFile& file) : file_(file) {}

    std::optional<std::int64_t> rowsAtOnce()
    {
        const QByteArray header = file_.read(0, 16);
        if (header.size() < 8 || (header.left(2) != "II" && header.left(2) != "MM")) {
            return std::nullopt;
        }
        little_ = header.startsWith("II");
        const std::uint64_t version = number(header, 2, 2);
        if (version == 43 && header.size() == 16) {
            big_ = true;
        } else if (version != 42) {
            return std::nullopt;
        }
        const std::int64_t directory = std::int64_t(big_ ? number(header, 8, 8) : number(header, 4, 4));
        const int countSize = big_ ? 8 : 2;
        const int entrySize = big_ ? 20 : 12;
        const std::uint64_t count = number(file_.read(directory, countSize), 0, countSize);
        constexpr std::uint64_t mostEntries = 1000; // far beyond any real first directory
        const QByteArray entries = file_.read(directory + countSize, std::int64_t(std::min(count, mostEntries)) * entrySize);
        std::optional<std::int64_t> rowsPerStrip;
        std::optional<std::int64_t> tileLength;
        std::optional<std::int64_t> compression;
        for (qsizetype at = 0; at + entrySize <= entries.size(); at += entrySize) {
            const std::uint64_t tag = number(entries, at, 2);
            if (tag == rowsPerStripTag) {
                rowsPerStrip = value(entries, at);
            } else if (tag == tileLengthTag) {
                tileLength = value(entries, at);
            } else if (tag == compressionTag) {
                compression = value(entries, at);
            }
        }
        if (tileLength) {
            return tileLength;
        }
        // libtiff reads an uncompressed strip in small pieces, however long.
        return compression.value_or(uncompressed) == uncompressed ? std::optional<std::int64_t>(1) : rowsPerStrip;
    }

private:
    static constexpr std::uint64_t rowsPerStripTag = 278;
    static constexpr std::uint64_t tileLengthTag = 323;
    static constexpr std::uint64_t compressionTag = 259;
    static constexpr std::int64_t uncompressed = 1;

    std::uint64_t number(const QByteArray& bytes, qsizetype at, int size) const
    {
        if (at + size > bytes.size()) {
            return 0;
        }
        std::uint64_t result = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte = std::uint8_t(bytes.at(at + (little_ ? size - 1 - i : i)));
            result = (result << 8) | byte;
        }
        return result;
    }

    // An entry's single SHORT, LONG or LONG8 value, held in the entry itself.
    std::optional<std::int64_t> value(const QByteArray& entries, qsizetype at) const
    {
        const std::uint64_t type = number(entries, at + 2, 2);
        const qsizetype field = at + (big_ ? 12 : 8);
        const int size = type == 3 ? 2 : type == 4 ? 4 : type == 16 ? 8 : 0;
        if (size == 0) {
            return std::nullopt;
        }
        return std::int64_t(std::min<std::uint64_t>(number(entries, field, size), std::uint64_t(unbounded)));
    }

    const MediaFile& file_;
    bool little_ = true;
    bool big_ = false;
};

std::mutex largeDecodeLock;

} // namespace

bool DecodeFootprint::tooLarge() const
{
    return bytes > largestDecodeBytes;
}

bool DecodeFootprint::large() const
{
    return bytes > largeDecodeBytes;
}

DecodeFootprint decodeFootprint(const DecodeShape& shape)
{
    const std::int64_t pixelBytes = product(shape.bands, shape.bytesPerSample);
    if (shape.loader == "gifload" || shape.loader == "bmp") {
        constexpr std::int64_t rgba = 4; // the canvas the decoder draws a frame on
        return {bytesOf(shape.width, shape.height, rgba)};
    }
    if (shape.loader == "heifload" || (shape.loader == "pngload" && shape.interlaced)) {
        return {bytesOf(shape.width, shape.height, pixelBytes)};
    }
    if (shape.loader == "tiffload") {
        const std::int64_t rows = std::clamp<std::int64_t>(shape.rowsAtOnce.value_or(shape.height), 1,
                                                           std::max<std::int64_t>(shape.height, 1));
        return {bytesOf(shape.width, rows, pixelBytes)};
    }
    // Decoded a few lines at a time, or at the reduced size.
    return {bytesOf(shape.width, 16, pixelBytes)};
}

std::optional<std::int64_t> tiffRowsAtOnce(const QString& path)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return std::nullopt;
    }
    return TiffReader(*file).rowsAtOnce();
}

std::unique_lock<std::mutex> largeDecodeTurn(const DecodeFootprint& footprint)
{
    return footprint.large() ? std::unique_lock(largeDecodeLock) : std::unique_lock<std::mutex>();
}

} // namespace pivra
