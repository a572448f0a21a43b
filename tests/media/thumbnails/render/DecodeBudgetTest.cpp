#include "media/thumbnails/render/DecodeBudget.h"

#include "media/MediaLibraries.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vips/vips8>

namespace pivra {
namespace {

constexpr std::int64_t mib = std::int64_t(1) << 20;

TEST(DecodeBudgetTest, EachDecoderIsBudgetedForWhatItHoldsAtOnce)
{
    const struct {
        DecodeShape shape;
        std::int64_t bytes;
        bool tooLarge;
        bool large;
    } rows[] = {
        // GIF draws every frame on a whole RGBA canvas, whatever its colours.
        {{"gifload", 15800, 15800, 1}, 15800LL * 15800 * 4, true, true},
        {{"gifload", 4000, 4000, 3}, 4000LL * 4000 * 4, false, false},
        {{"gifload", 6000, 6000, 3}, 6000LL * 6000 * 4, false, true},
        {{"bmp", 9000, 9000, 3}, 9000LL * 9000 * 4, true, true},
        // HEIF and interlaced PNG build the whole image; plain PNG goes by lines.
        {{"heifload", 8064, 6048, 3}, 8064LL * 6048 * 3, false, true},
        {{"pngload", 12000, 12000, 4, 2, true}, 12000LL * 12000 * 8, true, true},
        {{"pngload", 12000, 12000, 4, 2, false}, 12000LL * 16 * 8, false, false},
        // JPEG and WebP decode at the reduced size.
        {{"jpegload", 15800, 15800, 3}, 15800LL * 16 * 3, false, false},
        // TIFF holds a strip or a row of tiles; with no rows given, all of them.
        {{"tiffload", 8256, 5504, 3, 2, false, 64}, 8256LL * 64 * 6, false, false},
        {{"tiffload", 8256, 5504, 3, 2, false, std::nullopt}, 8256LL * 5504 * 6, true, true},
        {{"tiffload", 8256, 5504, 3, 2, false, 1'000'000}, 8256LL * 5504 * 6, true, true},
        // Numbers no product of them fits in are refused, not wrapped round.
        {{"gifload", std::int64_t(1) << 40, std::int64_t(1) << 40, 1}, std::numeric_limits<std::int64_t>::max(),
         true, true},
    };
    for (const auto& row : rows) {
        const DecodeFootprint footprint = decodeFootprint(row.shape);
        const std::string name = row.shape.loader.toStdString() + " " + std::to_string(row.shape.width);
        EXPECT_EQ(footprint.bytes, row.bytes) << name;
        EXPECT_EQ(footprint.tooLarge(), row.tooLarge) << name;
        EXPECT_EQ(footprint.large(), row.large) << name;
    }
    EXPECT_LE(largestDecodeBytes, 256 * mib);
}

TEST(DecodeBudgetTest, TheRowsATiffDecoderReadsAtOnceComeFromItsFirstDirectory)
{
    initializeMediaLibraries();
    QTemporaryDir folder;
    const vips::VImage image = vips::VImage::black(300, 200, vips::VImage::option()->set("bands", 3));
    const struct {
        const char* name;
        vips::VOption* options;
        std::optional<std::int64_t> rows;
    } rows[] = {
        {"tiled.tif", vips::VImage::option()->set("tile", true)->set("tile_height", 64)->set("compression", "deflate"),
         64},
        {"strips.tif", vips::VImage::option()->set("compression", "deflate")->set("tile_height", 40), 40},
        {"big.tif", vips::VImage::option()->set("bigtiff", true)->set("compression", "lzw"), 128},
        {"plain.tif", vips::VImage::option()->set("compression", "none"), 1}, // libtiff cuts it small
    };
    for (const auto& row : rows) {
        const QString path = folder.filePath(QString::fromLatin1(row.name));
        image.tiffsave(path.toUtf8().data(), row.options);
        EXPECT_EQ(tiffRowsAtOnce(path).value_or(-1), row.rows.value_or(-1)) << row.name;
    }
    EXPECT_EQ(tiffRowsAtOnce(folder.filePath(QStringLiteral("missing.tif"))), std::nullopt);
}

} // namespace
} // namespace pivra
