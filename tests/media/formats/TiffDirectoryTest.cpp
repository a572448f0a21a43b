#include "media/formats/TiffDirectory.h"
#include "media/formats/TiffXmpTag.h"

#include "support/system/TempFolder.h"

#include <QByteArray>

namespace pivra {
namespace {

// A TIFF header and first directory written by hand: entries of (tag, type,
// value), each with a count of one, the directory right after the header.
QByteArray tiffBytes(bool bigEndian, bool bigTiff, const std::vector<std::array<std::uint64_t, 3>>& entries)
{
    QByteArray bytes;
    const auto put = [&](std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (bigEndian ? size - 1 - i : i);
            bytes.append(char((value >> shift) & 0xFF));
        }
    };
    bytes.append(bigEndian ? "MM" : "II");
    put(bigTiff ? 43 : 42, 2);
    if (bigTiff) {
        put(8, 2);
        put(0, 2);
        put(16, 8);
    } else {
        put(8, 4);
    }
    put(entries.size(), bigTiff ? 8 : 2);
    for (const auto& [tag, type, value] : entries) {
        put(tag, 2);
        put(type, 2);
        put(1, bigTiff ? 8 : 4);
        const int valueSize = type == 3 ? 2 : type == 4 ? 4 : 8;
        const int field = bigTiff ? 8 : 4;
        put(value, valueSize);
        put(0, field - valueSize);
    }
    return bytes;
}

using TiffDirectoryTest = test::TempFolderTest;

TEST_F(TiffDirectoryTest, ReadsEveryLayoutAndRefusesWhatIsNoTiff)
{
    // Rows per strip (SHORT), compression (SHORT), XMP (a LONG offset here), image width (LONG8 in BigTIFF).
    const std::vector<std::array<std::uint64_t, 3>> entries{{278, 3, 64}, {259, 3, 8}, {700, 4, 4096}};
    const std::vector<std::array<std::uint64_t, 3>> big{{278, 16, 70000}, {700, 4, 4096}};
    QByteArray badMagic = tiffBytes(false, false, entries);
    badMagic[2] = 41;
    QByteArray badOffsetSize = tiffBytes(false, true, big);
    badOffsetSize[4] = 4;
    const QByteArray whole = tiffBytes(true, false, entries);
    const struct {
        const char* name;
        QByteArray bytes;
        bool read;
        bool bigEndian;
        std::size_t entries;
        std::optional<std::int64_t> rowsPerStrip;
        std::optional<std::int64_t> xmpEntry; // where the XMP entry lies
    } rows[] = {
        {"classic little-endian", tiffBytes(false, false, entries), true, false, 3, 64, 10 + 2 * 12},
        {"classic big-endian", whole, true, true, 3, 64, 10 + 2 * 12},
        {"BigTIFF little-endian", tiffBytes(false, true, big), true, false, 2, 70000, 24 + 20},
        {"BigTIFF big-endian", tiffBytes(true, true, big), true, true, 2, 70000, 24 + 20},
        {"bad magic", badMagic, false, false, 0, {}, {}},
        {"BigTIFF with 4-byte offsets", badOffsetSize, false, false, 0, {}, {}},
        {"no TIFF at all", QByteArray("\xFF\xD8\xFF\xE0 a JPEG's start", 18), false, false, 0, {}, {}},
        {"header cut short", whole.left(6), false, false, 0, {}, {}},
        {"directory beyond the end", whole.left(8), false, false, 0, {}, {}},
        {"last entry cut short", whole.left(whole.size() - 3), true, true, 2, 64, {}},
    };
    for (const auto& row : rows) {
        const std::optional<MediaFile> file = MediaFile::open(writeFile(QStringLiteral("file.tif"), row.bytes));
        ASSERT_TRUE(file);
        const std::optional<TiffDirectory> directory = readTiffFirstDirectory(*file);
        ASSERT_EQ(directory.has_value(), row.read) << row.name;
        const std::optional<TiffTagNumber> xmp = tiffXmpTag(*file);
        EXPECT_EQ(xmp ? std::optional(xmp->offset) : std::nullopt, row.xmpEntry) << row.name;
        if (!directory) {
            continue;
        }
        EXPECT_EQ(directory->bigEndian, row.bigEndian) << row.name;
        EXPECT_EQ(directory->entries.size(), row.entries) << row.name;
        const TiffEntry* const rows = directory->find(278);
        EXPECT_EQ(rows ? rows->value : std::nullopt, row.rowsPerStrip) << row.name;
        if (xmp) {
            EXPECT_EQ(xmp->bigEndian, row.bigEndian) << row.name;
        }
    }
}

} // namespace
} // namespace pivra
