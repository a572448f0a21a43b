#include "media/thumbnails/render/DecodeFootprint.h"

#include "media/MediaLibraries.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "platform/runtime/memory/HeapUpkeep.h"

#include "support/files/Bombs.h"
#include "support/files/HeicMaker.h"
#include "support/ParamNames.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vips/vips8>

#include <functional>
#include <optional>
#include <vector>

namespace pivra {
namespace {

constexpr std::int64_t mib = std::int64_t(1) << 20;

// A HEIC's coding: one picture of 4:2:0 samples, or a grid of 512 × 512
// tiles, with a monochrome alpha plane of its own when asked.
struct HeicRow {
    int bitDepth = 8;
    bool alpha = false;
    bool turned = false;
    bool cropped = false;
    bool grid = false;
    std::int64_t tile = 512; // the side a grid's tiles are coded at
};

HeifCoding heicCoding(const HeicRow& row)
{
    HeifCoding coding;
    const std::int64_t coded = row.grid ? row.tile : 8064;
    coding.image = {true, row.grid, HeifCoding::Picture{coded, row.grid ? coded : 6048, 1, row.bitDepth}, 8064, 6048};
    if (row.alpha) {
        coding.alpha = HeifCoding::Layer{true, false, HeifCoding::Picture{8064, 6048, 0, 8}, 8064, 6048};
    }
    coding.turned = row.turned;
    coding.cropped = row.cropped;
    return coding;
}

TEST(DecodeFootprintTest, EachDecoderIsBudgetedForWhatItHoldsAtOnce)
{
    constexpr std::int64_t mp48 = 8064LL * 6048;
    const struct {
        DecodeShape shape;
        std::int64_t bytes;
        bool tooLarge;
        bool large;
    } rows[] = {
        // GIF draws every frame on a whole RGBA canvas, whatever its colours,
        // from a whole frame of colour indices.
        {{"gifload", 15800, 15800, 1}, 15800LL * 15800 * 5, true, true},
        {{"gifload", 3500, 3500, 3}, 3500LL * 3500 * 5, false, false},
        {{"gifload", 6000, 6000, 3}, 6000LL * 6000 * 5, false, true},
        {{"bmp", 12000, 12000, 3}, 12000LL * 12000 * 4, true, true},
        // libvips' decode of a HEIF (AVIF) builds the whole image in YCbCr,
        // then in RGB, besides the decoder's picture.
        {{"heifload", 4000, 3000, 3}, 4000LL * 3000 * 9, false, true},
        {{"heifload", 8064, 6048, 3}, mp48 * 9, false, true},
        {{"heifload", 10000, 10000, 3}, 10000LL * 10000 * 9, true, true},
        // A HEIC decoded into planes of RGB: the decoder's picture, its block
        // data and libheif's copy, or that copy and the planes; cropped, the
        // planes twice; its alpha plane decoded beside the planes; a grid's
        // planes and four tiles being decoded.
        {{.loader = "heifload", .width = 8064, .height = 6048, .heic = heicCoding({})}, mp48 * 9 / 2, false, true},
        {{.loader = "heifload", .width = 8064, .height = 6048, .heic = heicCoding({.bitDepth = 10})}, mp48 * 9, false,
         true},
        {{.loader = "heifload", .width = 8064, .height = 6048, .heic = heicCoding({.alpha = true})}, mp48 * 13 / 2,
         false, true},
        // A turn is left to the caller, but where a crop is.
        {{.loader = "heifload", .width = 6048, .height = 8064, .heic = heicCoding({.bitDepth = 10, .turned = true})},
         mp48 * 9, false, true},
        {{.loader = "heifload", .width = 6048, .height = 8064, .heic = heicCoding({.turned = true, .cropped = true})},
         mp48 * 6, false, true},
        {{.loader = "heifload", .width = 6048, .height = 8064, .heic = heicCoding({.alpha = true, .turned = true})},
         mp48 * 13 / 2, false, true},
        {{.loader = "heifload", .width = 6048, .height = 8064,
          .heic = heicCoding({.bitDepth = 10, .turned = true, .cropped = true})},
         mp48 * 12, true, true},
        {{.loader = "heifload", .width = 8064, .height = 6048, .heic = heicCoding({.grid = true})},
         mp48 * 3 + 4 * 512 * 512 * 9 / 2, false, true},
        // What the file states counts for nothing: a picture is as large as
        // it is coded, a grid's tiles too.
        {{.loader = "heifload", .width = 64, .height = 48, .heic = heicCoding({.bitDepth = 10, .alpha = true})},
         mp48 * 6 + mp48 * 7 / 2, false, true},
        {{.loader = "heifload", .width = 8064, .height = 6048, .heic = heicCoding({.grid = true, .tile = 4096})},
         mp48 * 3 + 3 * 4096 * 4096 * 9 / 2, false, true},
        {{.loader = "heifload", .width = 15000, .height = 15000, .heic = heicCoding({.grid = true, .tile = 15000})},
         mp48 * 3 + 15000LL * 15000 * 9 / 2, true, true},
        // A picture or a plane whose coding the boxes do not tell is not decoded.
        {{.loader = "heifload", .width = 64, .height = 48, .heic = HeifCoding{.image = {.hevc = true}}},
         std::numeric_limits<std::int64_t>::max(), true, true},
        {{"pngload", 12000, 12000, 4, 2, true}, 12000LL * 12000 * 8, true, true},
        {{"pngload", 12000, 12000, 4, 2, false}, 12000LL * 16 * 8, false, false},
        // A JPEG of one scan and a still WebP decode at the reduced size.
        {{"jpegload", 15800, 15800, 3}, 15800LL * 16 * 3, false, false},
        {{"webpload", 16000, 16000, 4}, 16000LL * 16 * 4, false, false},
        // A JPEG of several scans keeps two bytes a sample, chroma as subsampled.
        {{.loader = "jpegload", .width = 15800, .height = 15800, .interlaced = true, .chromaSubsampling = "4:2:0"},
         15800LL * 15800 * 3, true, true},
        {{.loader = "jpegload", .width = 8064, .height = 6048, .interlaced = true, .chromaSubsampling = "4:2:2"},
         8064LL * 6048 * 4, false, true},
        {{.loader = "jpegload", .width = 4000, .height = 3000, .interlaced = true, .chromaSubsampling = "4:4:0"},
         4000LL * 3000 * 4, false, false},
        {{.loader = "jpegload", .width = 4000, .height = 3000, .interlaced = true, .chromaSubsampling = "4:4:4"},
         4000LL * 3000 * 6, false, true},
        {{.loader = "jpegload", .width = 4000, .height = 3000, .interlaced = true}, 4000LL * 3000 * 6, false, true},
        {{.loader = "jpegload", .width = 4000, .height = 3000, .bands = 1, .interlaced = true}, 4000LL * 3000 * 2,
         false, false},
        // An animated WebP: the canvas its first frame is drawn on.
        {{.loader = "webpload", .width = 6000, .height = 4000, .bands = 3, .pages = 12}, 6000LL * 4000 * 4,
         false, true},
        // TIFF holds a strip or a row of tiles; with no rows given, all of them.
        {{"tiffload", 8256, 5504, 3, 2, false, 64}, 8256LL * 64 * 6, false, false},
        {{"tiffload", 8256, 5504, 3, 2, false, std::nullopt}, 8256LL * 5504 * 6, false, true},
        {{"tiffload", 11648, 8736, 3, 2, false, 1'000'000}, 11648LL * 8736 * 6, true, true},
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
    // A 48-MP photo coded as one picture fits; the gigabyte of a bomb's canvas does not.
    EXPECT_LE(largestDecodeBytes, 512 * mib);
}

TEST(DecodeFootprintTest, TheRowsATiffDecoderReadsAtOnceComeFromItsFirstDirectory)
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

using vips::VImage;

// A picture of gradients, as libvips writes it out.
VImage gradients(int width, int height, int bands)
{
    const VImage xy = VImage::xyz(width, height);
    VImage image = (xy[0] * (255.0 / width)).bandjoin(xy[1] * (255.0 / height)).bandjoin(xy[0] * 0 + 90);
    if (bands == 4) {
        image = image.bandjoin(xy[1] * 0 + 255);
    }
    return image.cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// A file made at test time and the shape its decoder takes it in.
struct Footprinted {
    QString path;
    DecodeShape shape;
};

// A picture whose decoder holds much, written into `folder`; the path is
// empty when it could not be.
struct FootprintRow {
    const char* name;
    std::function<Footprinted(const QTemporaryDir& folder)> make;
};

QString save(const QTemporaryDir& folder, const char* name, const VImage& image, vips::VOption* options)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    image.write_to_file(QFile::encodeName(path).constData(), options);
    return path;
}

// A HEIC of `size` stored pixels, as read back; stating `stated` when given,
// which is then the size the catalog has for it.
Footprinted heic(const QTemporaryDir& folder, QSize size, const test::HeicFields& fields = {},
                 std::optional<QSize> stated = std::nullopt)
{
    const QString path = folder.filePath(QStringLiteral("picture.heic"));
    if (!test::makeHeic(path, size, fields) || (stated && !test::stateHeicSize(path, *stated))) {
        return {};
    }
    const std::optional<MediaFile> opened = MediaFile::open(path);
    const QSize shown = stated ? *stated : fields.containerOrientation >= 5 ? size.transposed() : size;
    return {path, {.loader = "heifload", .width = shown.width(), .height = shown.height(), .heic = readHeifCoding(*opened)}};
}

// 48-MP HEICs as phones write them: of 8-bit samples, of 10-bit ones held
// upright (turned by the container), with an alpha plane.
test::HeicFields deepAndTurned()
{
    test::HeicFields fields;
    fields.bitDepth = 10;
    fields.containerOrientation = 6;
    return fields;
}

test::HeicFields transparent()
{
    test::HeicFields fields;
    fields.alpha = true;
    return fields;
}

constexpr QSize mp48(8064, 6048);

// Each written with its encoder's quickest search: what a decoder holds
// follows from the picture and how it is laid out, not from how well it was
// compressed.
const FootprintRow footprintRows[] = {
    {"progressive JPEG",
     [](const QTemporaryDir& folder) {
         return Footprinted{save(folder, "progressive.jpg", gradients(6000, 4000, 3),
                                 VImage::option()->set("interlace", true)),
                            {.loader = "jpegload", .width = 6000, .height = 4000, .interlaced = true,
                             .chromaSubsampling = "4:2:0"}};
     }},
    {"interlaced PNG",
     [](const QTemporaryDir& folder) {
         return Footprinted{save(folder, "interlaced.png", gradients(5000, 4000, 3),
                                 VImage::option()->set("interlace", true)->set("compression", 1)),
                            {.loader = "pngload", .width = 5000, .height = 4000, .interlaced = true}};
     }},
    {"animated WebP",
     [](const QTemporaryDir& folder) {
         VImage frames = gradients(4000, 3000, 4).join(gradients(4000, 3000, 4), VIPS_DIRECTION_VERTICAL);
         frames.set("page-height", 3000);
         return Footprinted{save(folder, "animated.webp", frames,
                                 VImage::option()->set("lossless", true)->set("effort", 0)),
                            {.loader = "webpload", .width = 4000, .height = 3000, .bands = 4, .pages = 2}};
     }},
    {"large GIF",
     [](const QTemporaryDir& folder) {
         return Footprinted{save(folder, "large.gif", gradients(5000, 4000, 3),
                                 VImage::option()->set("effort", 1)->set("dither", 0.0)),
                            {.loader = "gifload", .width = 5000, .height = 4000}};
     }},
    {"HEIC of one picture", [](const QTemporaryDir& folder) { return heic(folder, QSize(4032, 3024)); }},
    {"48 MP HEIC", [](const QTemporaryDir& folder) { return heic(folder, mp48); }},
    {"48 MP HEIC of 10 bits", [](const QTemporaryDir& folder) { return heic(folder, mp48, deepAndTurned()); }},
    {"48 MP HEIC with alpha", [](const QTemporaryDir& folder) { return heic(folder, mp48, transparent()); }},
    // The same, stating a size of 64 × 48 over their pictures.
    {"48 MP HEIC of 10 bits understated",
     [](const QTemporaryDir& folder) { return heic(folder, mp48, deepAndTurned(), QSize(64, 48)); }},
    {"48 MP HEIC with alpha understated",
     [](const QTemporaryDir& folder) { return heic(folder, mp48, transparent(), QSize(64, 48)); }},
};

class DecodeFootprintRows : public testing::TestWithParam<FootprintRow> {};

// AddressSanitizer's quarantine keeps what a process's first decode frees
// resident, and its shadow with it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool residentMemoryIsTheDecodes = false;
#else
constexpr bool residentMemoryIsTheDecodes = true;
#endif

// The footprint of each decoder that holds much is no less than what it
// really takes: the process's peak resident memory, with nothing else going
// on, rises by no more than the footprint and what any render takes besides.
// A row a process, each decoding tens of megapixels.
TEST_P(DecodeFootprintRows, NoDecoderTakesMoreThanItsFootprint)
{
    initializeMediaLibraries();
    QTemporaryDir folder;
    const Footprinted made = GetParam().make(folder);
    ASSERT_FALSE(made.path.isEmpty());
    // Freed blocks given back as the program's allocator does, so that what
    // one decode freed is not counted again beside the next.
    limitHeapRetention();
    const ThumbnailRenderer renderer;
    // libvips' buffers and threads, the thumbnail; the stacks and arenas of
    // the threads the decoders start, some runs 23 MiB more than others.
    constexpr std::int64_t besides = 48 * mib;
    MediaItem item;
    item.setPath(made.path);
    item.setKind(MediaKind::image);
    // A HEIC's decode is the same for the grid and the viewer's larger picture.
    for (const int pixels : made.shape.heic ? std::vector<int>{420, 3200} : std::vector<int>{420}) {
        // Memory earlier work freed but the allocator kept would hide what
        // the decode takes: given back first.
        trimHeap();
        test::resetPeakMemory();
        const std::int64_t before = test::peakMemory();
        const QImage image = renderer.render(item, pixels, DecodeUrgency::visible).image;
        const std::int64_t taken = test::peakMemory() - before;
        EXPECT_FALSE(image.isNull()) << pixels;
        // Besides, the picture, as libvips writes it out and as the QImage holds it.
        if (residentMemoryIsTheDecodes) {
            EXPECT_LE(taken, decodeFootprint(made.shape).bytes + besides + 2 * image.sizeInBytes()) << pixels;
        }
        EXPECT_FALSE(decodeFootprint(made.shape).tooLarge());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, DecodeFootprintRows, testing::ValuesIn(footprintRows), test::rowName);

} // namespace
} // namespace pivra
