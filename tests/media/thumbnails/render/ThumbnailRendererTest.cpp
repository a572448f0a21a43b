#include "media/thumbnails/render/ThumbnailRenderer.h"

#include "media/thumbnails/render/DecodeBudget.h"
#include "media/thumbnails/render/DecodeFootprint.h"

#include "media/MediaLibraries.h"
#include "media/metadata/MediaMetadata.h"
#include "media/pictures/PictureScaler.h"

#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"
#include "support/files/RawMaker.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QPainter>
#include <QRandomGenerator>

#include <exiv2/exiv2.hpp>
#include <vips/vips8>

#include <cstdio>
#include <future>
#include <numeric>
#include <thread>

#include <jpeglib.h>
#include <libheif/heif.h>

namespace pivra {
namespace {

using test::TempFolderTest;

test::ExifFields turnedBy(int orientation)
{
    test::ExifFields fields;
    fields.orientation = orientation;
    return fields;
}

test::HeicFields heicTurnedBy(int container, int exif)
{
    test::HeicFields fields;
    fields.containerOrientation = container;
    fields.exif.orientation = exif;
    return fields;
}

class ThumbnailRendererTest : public TempFolderTest {
protected:
    static MediaItem itemAt(const QString& path, MediaKind kind = MediaKind::image)
    {
        MediaItem item;
        item.setPath(path);
        item.setKind(kind);
        return item;
    }

    QSize renderedSize(const QString& path, int pixels = 420) const
    {
        return renderer.render(itemAt(path), pixels, DecodeUrgency::visible).image.size();
    }

    // The thumbnail has the shape the catalog records for the item (which
    // swaps the sides for a turned photo), at the expected size.
    void expectItemShape(const QString& path, QSize expected) const
    {
        const MediaItem item = MediaMetadata::inspect(path, QUuid::createUuid(), {}, MediaKind::image);
        const QSize rendered = renderer.render(item, 420, DecodeUrgency::visible).image.size();
        EXPECT_EQ(rendered, expected) << path.toStdString();
        EXPECT_EQ(rendered.width() > rendered.height(), item.width() > item.height()) << path.toStdString();
    }

    ThumbnailRenderer renderer;
};

TEST_F(ThumbnailRendererTest, JpegOrientationIsAppliedOnceAndNothingIsEnlarged)
{
    const QString turned = pathOf(QStringLiteral("turned.jpg"));
    ASSERT_TRUE(test::makeJpeg(turned, QSize(1200, 800), turnedBy(6)));
    expectItemShape(turned, QSize(280, 420));

    const QString small = pathOf(QStringLiteral("small-turned.jpg"));
    ASSERT_TRUE(test::makeJpeg(small, QSize(400, 300), turnedBy(6)));
    expectItemShape(small, QSize(300, 400)); // turned, but not enlarged to 420

    const QString tiny = pathOf(QStringLiteral("tiny.jpg"));
    ASSERT_TRUE(test::makeJpeg(tiny, QSize(100, 80), turnedBy(1)));
    EXPECT_EQ(renderedSize(tiny), QSize(100, 80));
    EXPECT_EQ(renderedSize(tiny, 3200), QSize(100, 80));
}

TEST_F(ThumbnailRendererTest, PngOrientationInATextChunkIsApplied)
{
    // exiv2 (like ImageMagick) keeps a PNG's Exif in a "Raw profile type
    // exif" text chunk, which libvips does not read.
    const QString turned = pathOf(QStringLiteral("turned.png"));
    QImage pixels(400, 300, QImage::Format_RGB32);
    pixels.fill(Qt::darkYellow);
    ASSERT_TRUE(pixels.save(turned, "PNG"));
    ASSERT_TRUE(test::addExif(turned, turnedBy(6)));
    expectItemShape(turned, QSize(300, 400));
}

TEST_F(ThumbnailRendererTest, LargePhotosFitTheRequestedSize)
{
    const QString wide = pathOf(QStringLiteral("wide.jpg"));
    ASSERT_TRUE(test::makeJpeg(wide, QSize(4000, 3000), turnedBy(1)));
    EXPECT_EQ(renderedSize(wide), QSize(420, 315));
    EXPECT_EQ(renderedSize(wide, 3200), QSize(3200, 2400));

    const QImage image = renderer.render(itemAt(wide), 420, DecodeUrgency::visible).image;
    EXPECT_EQ(image.format(), QImage::Format_RGB888);
}

// Where a photo is in a stored (unturned) picture, as fractions of its sides.
enum class Corner { topLeft, topRight, bottomLeft, bottomRight };

QPoint cornerBlock(Corner corner, QSize size, int side)
{
    const bool right = corner == Corner::topRight || corner == Corner::bottomRight;
    const bool bottom = corner == Corner::bottomLeft || corner == Corner::bottomRight;
    return {right ? size.width() - side : 0, bottom ? size.height() - side : 0};
}

// Whether `pixel` is `color` give or take what JPEG and scaling do to it.
bool near(QColor pixel, QColor color)
{
    return std::abs(pixel.red() - color.red()) < 40 && std::abs(pixel.green() - color.green()) < 40 &&
           std::abs(pixel.blue() - color.blue()) < 40;
}

TEST_F(ThumbnailRendererTest, EveryOrientationOfALargePhotoComesOutUprightAtBothSizes)
{
    // Stored 4000 × 3000, grey with a red block in one corner and a blue one
    // in another: which stored corners the file's orientation brings to the
    // top left and the top right of the upright picture.
    struct Row {
        int orientation;
        Corner atTopLeft;
        Corner atTopRight;
    };
    const Row rows[] = {
        {1, Corner::topLeft, Corner::topRight},     {2, Corner::topRight, Corner::topLeft},
        {3, Corner::bottomRight, Corner::bottomLeft}, {4, Corner::bottomLeft, Corner::bottomRight},
        {5, Corner::topLeft, Corner::bottomLeft},   {6, Corner::bottomLeft, Corner::topLeft},
        {7, Corner::bottomRight, Corner::topRight}, {8, Corner::topRight, Corner::bottomRight},
    };
    const QSize stored(4000, 3000);
    const int block = 600;
    for (const Row& row : rows) {
        QImage pixels(stored, QImage::Format_RGB32);
        pixels.fill(Qt::gray);
        QPainter painter(&pixels);
        painter.fillRect(QRect(cornerBlock(row.atTopLeft, stored, block), QSize(block, block)), Qt::red);
        painter.fillRect(QRect(cornerBlock(row.atTopRight, stored, block), QSize(block, block)), Qt::blue);
        painter.end();
        const QString path = pathOf(QStringLiteral("turned-%1.jpg").arg(row.orientation));
        ASSERT_TRUE(pixels.save(path, "JPEG", 90));
        ASSERT_TRUE(test::addExif(path, turnedBy(row.orientation)));

        const bool sideways = row.orientation >= 5;
        for (const int pixels : {420, 3200}) {
            const QImage image = renderer.render(itemAt(path), pixels, DecodeUrgency::visible).image;
            const QSize expected = QSize(pixels, pixels * 3 / 4);
            ASSERT_EQ(image.size(), sideways ? expected.transposed() : expected)
                << "orientation " << row.orientation << " at " << pixels;
            EXPECT_EQ(image.format(), QImage::Format_RGB888);
            const int inset = image.width() / 20;
            EXPECT_TRUE(near(image.pixelColor(inset, inset), Qt::red)) << row.orientation << " at " << pixels;
            EXPECT_TRUE(near(image.pixelColor(image.width() - inset, inset), Qt::blue))
                << row.orientation << " at " << pixels;
        }
    }
}

TEST_F(ThumbnailRendererTest, ATruncatedJpegShowsThePartItHoldsOverGrey)
{
    // Red above, blue below, of equal detail, so half the bytes hold about
    // half the rows.
    QImage pixels(4000, 3000, QImage::Format_RGB32);
    pixels.fill(Qt::blue);
    QPainter(&pixels).fillRect(QRect(0, 0, 4000, 1500), Qt::red);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(pixels.save(&buffer, "JPEG", 90));
    const QString cut = writeFile(QStringLiteral("cut.jpg"), encoded.left(encoded.size() / 2));

    for (const int size : {420, 3200}) {
        const QImage image = renderer.render(itemAt(cut), size, DecodeUrgency::visible).image;
        ASSERT_EQ(image.width(), size) << size;
        EXPECT_EQ(image.height(), size * 3 / 4) << size;
        EXPECT_TRUE(near(image.pixelColor(image.width() / 2, image.height() / 5), Qt::red)) << size;
        const QColor below = image.pixelColor(image.width() / 2, image.height() * 9 / 10);
        EXPECT_TRUE(near(below, QColor(128, 128, 128))) << size << " " << below.name().toStdString();
    }
}

// Damage in every stretch of the lower half, which libvips gives up on after
// a hundred of them, while libjpeg skips each to the next restart marker.
TEST_F(ThumbnailRendererTest, ADamagedJpegShowsWhatItsDecoderDrew)
{
    const QString damaged = pathOf(QStringLiteral("damaged.jpg"));
    ASSERT_TRUE(test::makeDamagedJpeg(damaged, QSize(3648, 2736)));
    std::size_t length = 0;
    EXPECT_THROW(g_free(vips::VImage::thumbnail(damaged.toUtf8().constData(), 420).write_to_memory(&length)),
                 vips::VError)
        << "libvips draws the damage itself now";
    vips_error_clear();

    for (const int size : {420, 3200}) {
        const QImage image = renderer.render(itemAt(damaged), size, DecodeUrgency::visible).image;
        ASSERT_EQ(image.size(), QSize(size, size * 3 / 4)) << size;
        for (const int y : {0, image.height() / 4, image.height() * 2 / 5}) {
            const QColor pixel = image.pixelColor(image.width() / 2, y);
            EXPECT_TRUE(pixel.red() > 160 && pixel.green() < 90 && pixel.blue() < 90)
                << size << " at row " << y << ": " << pixel.name().toStdString();
        }
    }
    // A file with nothing to decode is still nothing.
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString header = writeFile(QStringLiteral("header.jpg"), file.read(600));
    EXPECT_TRUE(renderer.render(itemAt(header), 420, DecodeUrgency::visible).image.isNull());
}

// `image` written by libjpeg with its chroma sampled `wide` × `tall` times
// more sparsely than its luma (cameras write 2 × 1 and 2 × 2, some 1 × 1 and
// 1 × 2), or grey; false when libjpeg fails.
bool writeSampledJpeg(const QString& path, const QImage& image, int wide, int tall, bool gray = false)
{
    const QImage pixels = image.convertToFormat(gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) {
        return false;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(pixels.width());
    info.image_height = JDIMENSION(pixels.height());
    info.input_components = gray ? 1 : 3;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    if (!gray) {
        info.comp_info[0].h_samp_factor = wide;
        info.comp_info[0].v_samp_factor = tall;
        for (int c : {1, 2}) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(pixels.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

// A JPEG's thumbnail is decoded at a reduced scale and shrunk the rest of
// the way from its planes, whatever its chroma sampling and however its
// sides fall on the blocks: the colours stay where they were, as Qt's own
// decoder of the whole picture scaled down shows them.
TEST_F(ThumbnailRendererTest, EveryChromaSamplingGivesThePictureAsItIs)
{
    QImage picture(4001, 2999, QImage::Format_RGB32); // sides off the blocks
    QPainter painter(&picture);
    painter.fillRect(QRect(0, 0, 2000, 1500), QColor(200, 40, 30));
    painter.fillRect(QRect(2000, 0, 2001, 1500), QColor(30, 160, 60));
    painter.fillRect(QRect(0, 1500, 2000, 1499), QColor(40, 60, 210));
    painter.fillRect(QRect(2000, 1500, 2001, 1499), QColor(230, 210, 60));
    painter.end();
    const struct {
        const char* name;
        int wide;
        int tall;
        bool gray;
    } rows[] = {
        {"4:2:0", 2, 2, false}, {"4:2:2", 2, 1, false}, {"4:4:4", 1, 1, false},
        {"4:4:0", 1, 2, false}, {"4:1:1", 4, 1, false}, {"grey", 1, 1, true},
    };
    for (const auto& row : rows) {
        const QString path = pathOf(QStringLiteral("sampled-%1.jpg").arg(QString::fromLatin1(row.name).replace(':', '-')));
        ASSERT_TRUE(writeSampledJpeg(path, picture, row.wide, row.tall, row.gray)) << row.name;
        const QImage byQt = QImage(path).convertToFormat(QImage::Format_RGB888);
        for (const int pixels : {420, 160}) {
            const QImage image = renderer.render(itemAt(path), pixels, DecodeUrgency::visible).image;
            ASSERT_EQ(image.size(), PictureScaler::fitted(picture.size(), QSize(pixels, pixels))) << row.name;
            EXPECT_EQ(image.format(), QImage::Format_RGB888) << row.name;
            for (const QPointF at : {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
                const QColor expected = byQt.pixelColor(int(at.x() * byQt.width()), int(at.y() * byQt.height()));
                const QColor shown = image.pixelColor(int(at.x() * image.width()), int(at.y() * image.height()));
                EXPECT_LE(std::abs(shown.red() - expected.red()) + std::abs(shown.green() - expected.green())
                              + std::abs(shown.blue() - expected.blue()),
                          6)
                    << row.name << " at " << pixels << ": " << shown.name().toStdString() << " for "
                    << expected.name().toStdString();
            }
        }
    }
}

// Stripes finer than a thumbnail's pixels average to their mean, as
// libvips' Lanczos filter leaves them, instead of beating into the coarse
// bands a block average of the decoder's own scaling leaves.
TEST_F(ThumbnailRendererTest, StripesFinerThanTheThumbnailLeaveNoMoire)
{
    QImage stripes(4032, 3024, QImage::Format_Grayscale8);
    for (int y = 0; y < stripes.height(); ++y) {
        uchar* row = stripes.scanLine(y);
        for (int x = 0; x < stripes.width(); ++x) {
            row[x] = (x / 7) % 2 == 0 ? 230 : 30; // a period of 14, under 1.5 of the thumbnail's pixels
        }
    }
    const QString path = pathOf(QStringLiteral("stripes.jpg"));
    ASSERT_TRUE(stripes.save(path, "JPEG", 95));
    const QImage image = renderer.render(itemAt(path), 420, DecodeUrgency::visible).image;
    ASSERT_EQ(image.size(), QSize(420, 315));
    int lowest = 255;
    int highest = 0;
    for (int x = 10; x < image.width() - 10; ++x) {
        const int level = qGray(image.pixel(x, image.height() / 2));
        lowest = std::min(lowest, level);
        highest = std::max(highest, level);
    }
    EXPECT_LE(highest - lowest, 40) << "levels from " << lowest << " to " << highest;
    EXPECT_NEAR((highest + lowest) / 2, 130, 20);
}

// A JPEG of `size` pixels as encoded bytes, as cameras embed previews.
QByteArray encodedJpeg(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return encoded;
}

// The mean of all three channels over the image.
double meanLevel(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* row = rgb.constScanLine(y);
        sum += std::accumulate(row, row + rgb.width() * 3, 0.0);
    }
    return sum / (double(rgb.width()) * rgb.height() * 3);
}

// An 800 × 600 JPEG of one colour in `interpretation` (CMYK inks, or sRGB
// turned into `profile`, which it then carries), written by libvips: Qt
// writes neither CMYK nor profiles.
bool makeVipsJpeg(const QString& path, std::vector<double> values, VipsInterpretation interpretation,
                  const char* profile = nullptr)
{
    using vips::VImage;
    try {
        VImage image = (VImage::black(800, 600, VImage::option()->set("bands", int(values.size()))) + values)
                           .cast(VIPS_FORMAT_UCHAR)
                           .copy(VImage::option()->set("interpretation", interpretation));
        if (profile) {
            image = image.icc_transform(profile, VImage::option()->set("input_profile", "srgb"));
        }
        image.jpegsave(QFile::encodeName(path).constData());
    } catch (const vips::VError&) {
        return false;
    }
    return true;
}

TEST_F(ThumbnailRendererTest, PhotosWithoutAColourProfileKeepTheirBrightness)
{
    // Most camera JPEGs carry no profile and are sRGB; Qt's writer adds none.
    struct Row {
        QString name;
        QColor color;
    };
    const std::vector<Row> rows{
        {QStringLiteral("dark.jpg"), QColor(39, 30, 50)},  {QStringLiteral("mid.jpg"), QColor(128, 128, 128)},
        {QStringLiteral("sky.jpg"), QColor(200, 220, 250)}, {QStringLiteral("red.jpg"), QColor(220, 40, 30)},
        {QStringLiteral("grey.jpg"), QColor(39, 39, 39)},
    };
    for (const Row& row : rows) {
        const QString path = pathOf(row.name);
        if (row.name == QStringLiteral("grey.jpg")) {
            QImage grey(800, 600, QImage::Format_Grayscale8);
            grey.fill(row.color);
            ASSERT_TRUE(grey.save(path, "JPEG"));
        } else {
            ASSERT_TRUE(test::makeJpeg(path, QSize(800, 600), turnedBy(1), row.color));
        }
        const QImage rendered = renderer.render(itemAt(path), 420, DecodeUrgency::visible).image;
        ASSERT_EQ(rendered.size(), QSize(420, 315)) << path.toStdString();
        const QImage original = QImage(path).scaled(rendered.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_NEAR(meanLevel(rendered), meanLevel(original), 1.5) << path.toStdString();
    }

    // CMYK goes through libvips' own print profile, not the plain inversion of
    // Qt's decoder: alike, not equal (inks read the wrong way round would be
    // over a hundred levels off).
    const QString cmyk = pathOf(QStringLiteral("cmyk.jpg"));
    ASSERT_TRUE(makeVipsJpeg(cmyk, {20, 60, 10, 30}, VIPS_INTERPRETATION_CMYK));
    const QImage inks = renderer.render(itemAt(cmyk), 420, DecodeUrgency::visible).image;
    ASSERT_EQ(inks.size(), QSize(420, 315));
    EXPECT_NEAR(meanLevel(inks), meanLevel(QImage(cmyk)), 16);

    // A profile is still honoured: Display P3 pixels come back as the sRGB
    // colour they were made from.
    const QString wide = pathOf(QStringLiteral("p3.jpg"));
    ASSERT_TRUE(makeVipsJpeg(wide, {220, 40, 30}, VIPS_INTERPRETATION_sRGB, "p3"));
    const QColor shown = renderer.render(itemAt(wide), 420, DecodeUrgency::visible).image.pixelColor(200, 150);
    EXPECT_NEAR(shown.red(), 220, 3);
    EXPECT_NEAR(shown.green(), 40, 3);
    EXPECT_NEAR(shown.blue(), 30, 3);
}

TEST_F(ThumbnailRendererTest, HeicContainerRotationIsAppliedOnce)
{
    const QString container = pathOf(QStringLiteral("container.heic"));
    ASSERT_TRUE(test::makeHeic(container, QSize(640, 480), heicTurnedBy(6, 1)));
    expectItemShape(container, QSize(315, 420));

    // As an iPhone writes it: both the container and the Exif tag say "turn".
    // Turning by both would lay it on its side again.
    const QString both = pathOf(QStringLiteral("both.heic"));
    ASSERT_TRUE(test::makeHeic(both, QSize(640, 480), heicTurnedBy(6, 6)));
    expectItemShape(both, QSize(315, 420));

    // HEIF readers go by the container alone; the Exif tag is information.
    const QString exifOnly = pathOf(QStringLiteral("exif-only.heic"));
    ASSERT_TRUE(test::makeHeic(exifOnly, QSize(640, 480), heicTurnedBy(1, 6)));
    expectItemShape(exifOnly, QSize(420, 315));
}

// The picture libheif itself shows of a HEIC, its transforms applied.
QImage shownByLibheif(const QString& path)
{
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    QImage shown;
    if (heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code == heif_error_Ok
        && heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok
        && heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code
            == heif_error_Ok) {
        int stride = 0;
        const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        shown = QImage(pixels, heif_image_get_width(image, heif_channel_interleaved),
                       heif_image_get_height(image, heif_channel_interleaved), stride, QImage::Format_RGB888)
                    .copy();
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return shown;
}

TEST_F(ThumbnailRendererTest, HeicTurnsAndMirrorsShowAsLibheifShowsThem)
{
    // The turns and mirrors are applied to the thumbnail rather than by
    // libheif to the whole picture, in the order the file lists them: every
    // orientation comes out as libheif draws the plain photo, the white
    // quarter in the same corner. Also for a photo of 10-bit samples with an
    // alpha plane, whose mirror libheif cannot apply.
    for (const bool mirrorFirst : {false, true}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            test::HeicFields fields = heicTurnedBy(orientation, 1);
            fields.markedCorner = true;
            fields.mirrorBeforeTurn = mirrorFirst;
            const QString plain = pathOf(QStringLiteral("oriented-%1-%2.heic").arg(orientation).arg(mirrorFirst));
            ASSERT_TRUE(test::makeHeic(plain, QSize(160, 96), fields));
            fields.bitDepth = 10;
            fields.alpha = true;
            const QString deep = pathOf(QStringLiteral("deep-%1-%2.heic").arg(orientation).arg(mirrorFirst));
            ASSERT_TRUE(test::makeHeic(deep, QSize(160, 96), fields));
            const QImage expected = shownByLibheif(plain);
            for (const QString& path : {plain, deep}) {
                const QImage rendered = renderer.render(itemAt(path), 420, DecodeUrgency::visible).image;
                const std::string name = QFileInfo(path).fileName().toStdString();
                ASSERT_EQ(rendered.size(), expected.size()) << name;
                for (const QPointF at :
                     {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
                    const QPoint pixel(int(at.x() * expected.width()), int(at.y() * expected.height()));
                    // The rest is darker, lighter where half transparent on white.
                    EXPECT_EQ(qGray(rendered.pixel(pixel)) > 240, qGray(expected.pixel(pixel)) > 240)
                        << name << " at " << at.x() << "," << at.y();
                }
            }
        }
    }
}

// libheif decodes an AVIF at the size its AV1 sequence header codes, whatever
// its size box states: one stating 64 × 48 over 4096 × 2048 waits for the
// budget's share of the larger decode, which libvips then fails.
TEST_F(ThumbnailRendererTest, AnAvifIsBudgetedByThePictureItCodes)
{
    const QString path = pathOf(QStringLiteral("understated.avif"));
    test::HeicFields avif;
    avif.av1 = true;
    const QSize coded(4096, 2048);
    ASSERT_TRUE(test::makeHeic(path, coded, avif));
    ASSERT_TRUE(test::stateHeicSize(path, QSize(64, 48)));
    const DecodeFootprint footprint
        = decodeFootprint({.loader = "heifload", .width = coded.width(), .height = coded.height()});
    ASSERT_TRUE(footprint.large());
    const std::int64_t before = DecodeBudget::shared().usage().peakBytes;
    ASSERT_LT(before, footprint.bytes) << "an earlier test took as much";
    const Rendering rendering = ThumbnailRenderer().render(itemAt(path), 420, DecodeUrgency::visible);
    EXPECT_TRUE(rendering.image.isNull());
    EXPECT_GE(DecodeBudget::shared().usage().peakBytes, footprint.bytes);
}

TEST_F(ThumbnailRendererTest, AHeicsAlphaPlaneIsFlattenedOnWhite)
{
    const QString path = pathOf(QStringLiteral("transparent.heic"));
    test::HeicFields fields;
    fields.alpha = true; // half opaque
    ASSERT_TRUE(test::makeHeic(path, QSize(1600, 1200), fields, QColor(0, 0, 200), 90));
    const QImage rendered = renderer.render(itemAt(path), 420, DecodeUrgency::visible).image;
    ASSERT_EQ(rendered.size(), QSize(420, 315));
    const QColor shown = rendered.pixelColor(210, 150);
    EXPECT_NEAR(shown.red(), 128, 8);
    EXPECT_NEAR(shown.green(), 128, 8);
    EXPECT_NEAR(shown.blue(), 228, 8);
}

TEST_F(ThumbnailRendererTest, RawFilesAreDrawnFromTheirPreviewTurnedByHand)
{
    // A file under a RAW name whose largest embedded preview is a 160 × 120
    // Exif thumbnail, with the file's orientation 6. The preview route must
    // be taken (the main image would give 300 × 400) and turned once.
    const QString raw = pathOf(QStringLiteral("camera.nef"));
    ASSERT_TRUE(test::makeJpeg(raw, QSize(400, 300), turnedBy(6)));
    const QByteArray encoded = encodedJpeg(QSize(160, 120));
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(raw).toStdString());
    image->readMetadata();
    Exiv2::ExifThumb(image->exifData())
        .setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(encoded.constData()), long(encoded.size()));
    image->writeMetadata();

    const QImage rendered = renderer.render(itemAt(raw), 420, DecodeUrgency::visible).image;
    EXPECT_EQ(rendered.size(), QSize(120, 160));
}

TEST_F(ThumbnailRendererTest, RawFilesAreDrawnFromTheLargestPreviewThatDecodes)
{
    const QByteArray small = encodedJpeg(QSize(160, 120));
    const QString both = pathOf(QStringLiteral("both.nef"));
    ASSERT_TRUE(test::makeTiffRaw(both, {encodedJpeg(QSize(1600, 1200)), small}, 6));
    EXPECT_EQ(renderer.render(itemAt(both), 420, DecodeUrgency::visible).image.size(), QSize(315, 420));

    // A full-size preview without its quantisation tables (their marker made
    // an application segment's): its header reads, its pixels do not.
    QByteArray broken = encodedJpeg(QSize(1600, 1200));
    broken.replace(QByteArray("\xff\xdb"), QByteArray("\xff\xe9"));
    const QString damaged = pathOf(QStringLiteral("damaged.nef"));
    ASSERT_TRUE(test::makeTiffRaw(damaged, {broken, small}, 6));
    EXPECT_EQ(renderer.render(itemAt(damaged), 420, DecodeUrgency::visible).image.size(), QSize(120, 160));
}

TEST_F(ThumbnailRendererTest, TheStartOfAFilmUnderARawNameIsRefusedAtOnce)
{
    // exiv2's own readers of video containers loop for ever on a few hundred
    // bytes of an AVI; such a render would never return.
    const QString film = pathOf(QStringLiteral("film.avi"));
    ASSERT_TRUE(test::makeVideo(film));
    QFile file(film);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const MediaItem raw = itemAt(writeFile(QStringLiteral("camera.nef"), file.read(200)));

    initializeMediaLibraries();
    QMimeDatabase().mimeTypeForName(QStringLiteral("image/jpeg")); // loads the type database
    // A render that hangs keeps its thread: it may not hold the test's state.
    auto rendering = std::make_shared<std::promise<Rendering>>();
    std::future<Rendering> done = rendering->get_future();
    std::thread([rendering, raw] { rendering->set_value(ThumbnailRenderer().render(raw, 420, DecodeUrgency::visible)); }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_TRUE(done.get().image.isNull());
}

TEST_F(ThumbnailRendererTest, BrokenFilesGiveNoImageAndNoStandIn)
{
    const QString good = pathOf(QStringLiteral("good.jpg"));
    ASSERT_TRUE(test::makeJpeg(good, QSize(300, 200), turnedBy(1)));
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray damaged = file.read(40);
    damaged += QByteArray(4000, '\x5a');
    const QString damagedJpeg = writeFile(QStringLiteral("broken.jpg"), damaged);
    // Seeded noise: a run of one byte value can read as a header of some
    // image type (0x01 repeated is a colour-mapped TGA's), which would earn it
    // that type's stand-in.
    QByteArray noiseBytes(4000, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noiseBytes.data()), noiseBytes.size() / 4);
    const QString noise = writeFile(QStringLiteral("noise.jpg"), noiseBytes);
    const QString empty = writeFile(QStringLiteral("empty.jpg"), {});
    const QString text = writeFile(QStringLiteral("text.jpg"), "not a picture at all\n");
    QStringList broken{damagedJpeg, noise, empty, text, pathOf(QStringLiteral("missing.jpg"))};
    // TIFFs cut short: still TIFFs by their content, which a decoder here
    // reads, so broken rather than of a type waiting for a decoder.
    const QString tiff = pathOf(QStringLiteral("whole.tif"));
    vips::VImage::black(300, 200, vips::VImage::option()->set("bands", 3))
        .tiffsave(tiff.toUtf8().data(), vips::VImage::option()->set("compression", "deflate"));
    QFile tiffFile(tiff);
    ASSERT_TRUE(tiffFile.open(QIODevice::ReadOnly));
    const QByteArray tiffBytes = tiffFile.readAll();
    for (const int eighths : {1, 4, 7}) {
        broken << writeFile(QStringLiteral("cut-%1.tif").arg(eighths), tiffBytes.first(tiffBytes.size() * eighths / 8));
    }

    for (const QString& path : broken) {
        const Rendering rendering = renderer.render(itemAt(path), 420, DecodeUrgency::visible);
        EXPECT_TRUE(rendering.image.isNull()) << path.toStdString();
        EXPECT_TRUE(rendering.standInType.isEmpty()) << path.toStdString();
    }
}

// A one-page PDF, as small as the format allows.
QByteArray minimalPdf()
{
    const QByteArrayList objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] >>"};
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray table = "xref\n0 4\n0000000000 65535 f \n";
    for (int i = 0; i < objects.size(); ++i) {
        table += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    return pdf + table + "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(pdf.size()) +
           "\n%%EOF\n";
}

TEST_F(ThumbnailRendererTest, OnlyDecodersOfIndexedImageTypesDrawAFile)
{
    // libvips would choose its PDF and SVG loaders by content, whatever the name.
    const QString document = writeFile(QStringLiteral("document.jpg"), minimalPdf());
    const Rendering pdf = renderer.render(itemAt(document), 420, DecodeUrgency::visible);
    EXPECT_TRUE(pdf.image.isNull());
    EXPECT_TRUE(pdf.standInType.isEmpty()) << "not a picture: nothing to stand in for";

    const QString drawing = writeFile(QStringLiteral("drawing.png"),
                                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"200\">"
                                      "<rect width=\"300\" height=\"200\" fill=\"red\"/></svg>\n");
    const Rendering svg = renderer.render(itemAt(drawing), 420, DecodeUrgency::visible);
    EXPECT_TRUE(svg.image.isNull());
    EXPECT_EQ(svg.standInType, QStringLiteral("image/svg+xml"));

    // BMP, which only libvips' blocked ImageMagick loader reads, goes through Qt.
    QImage pixels(900, 600, QImage::Format_RGB32);
    pixels.fill(Qt::blue);
    const QString bitmap = pathOf(QStringLiteral("bitmap.bmp"));
    ASSERT_TRUE(pixels.save(bitmap, "BMP"));
    const QImage bmp = renderer.render(itemAt(bitmap), 420, DecodeUrgency::visible).image;
    EXPECT_EQ(bmp.size(), QSize(420, 280));
    EXPECT_EQ(bmp.pixelColor(100, 100), QColor(Qt::blue));
}

TEST_F(ThumbnailRendererTest, VideosAskTheFrameSourceAndOtherwiseGetAStandIn)
{
    // An MPEG-4 file type box is enough for its content type to be known.
    const QByteArray header = QByteArray::fromHex("00000018667479706d703432000000006d70343269736f6d");
    const QString video = writeFile(QStringLiteral("clip.mp4"), header + QByteArray(2000, '\0'));

    const Rendering none = renderer.render(itemAt(video, MediaKind::video), 420, DecodeUrgency::visible);
    EXPECT_TRUE(none.image.isNull());
    EXPECT_EQ(none.standInType, QStringLiteral("video/mp4"));
    EXPECT_FALSE(ThumbnailRenderer::standInImage(none.standInType, 420).isNull());

    struct WideFrames : VideoFrameSource {
        QImage frame(const QString&, int) const override
        {
            QImage image(1000, 500, QImage::Format_RGB32);
            image.fill(Qt::green);
            return image;
        }
    };
    const ThumbnailRenderer withFrames(std::make_shared<WideFrames>());
    EXPECT_EQ(withFrames.render(itemAt(video, MediaKind::video), 420, DecodeUrgency::visible).image.size(), QSize(420, 210));
}

} // namespace
} // namespace pivra
