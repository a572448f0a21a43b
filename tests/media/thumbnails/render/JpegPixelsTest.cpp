#include "media/thumbnails/render/JpegPixels.h"
#include "media/thumbnails/cache/ThumbnailCache.h"

#include "support/system/TempFolder.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdlib>

namespace pivra {
namespace {

// A picture with smooth runs and sharp edges, so that both the colour
// conversion and the upsampling of the chroma show in the pixels.
QImage detailed(QSize size, QImage::Format format)
{
    QImage image(size, QImage::Format_RGB32);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(250, 40, 10));
    gradient.setColorAt(0.5, QColor(30, 200, 90));
    gradient.setColorAt(1, QColor(20, 30, 240));
    QPainter painter(&image);
    painter.fillRect(image.rect(), gradient);
    QRandomGenerator random(7);
    for (int block = 0; block < 40; ++block) {
        painter.fillRect(random.bounded(size.width()), random.bounded(size.height()), 1 + random.bounded(30),
                         1 + random.bounded(30), QColor::fromRgb(random.generate()));
    }
    painter.end();
    return image.convertToFormat(format);
}

// The largest difference of one byte of any pixel, both images in `format`.
int largestDifference(const QImage& left, const QImage& right, QImage::Format format)
{
    const QImage a = left.convertToFormat(format);
    const QImage b = right.convertToFormat(format);
    const qsizetype rowBytes = qsizetype(a.width()) * a.depth() / 8;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (qsizetype x = 0; x < rowBytes; ++x) {
            largest = std::max(largest, std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])));
        }
    }
    return largest;
}

using JpegPixelsTest = test::TempFolderTest;

// Each file decodes into the narrow format and into the same pixels that
// Qt's own reader gives.
TEST_F(JpegPixelsTest, DecodesIntoThreeBytesAPixelAsQtDoes)
{
    struct Case {
        const char* name;
        QSize size;
        QImage::Format written;
        bool progressive;
        QImage::Format expected;
    };
    const Case cases[] = {
        {"grid thumbnail", {420, 315}, QImage::Format_RGB888, false, QImage::Format_RGB888},
        {"partial blocks at the edges", {421, 317}, QImage::Format_RGB32, false, QImage::Format_RGB888},
        {"one pixel", {1, 1}, QImage::Format_RGB888, false, QImage::Format_RGB888},
        {"progressive", {300, 200}, QImage::Format_RGB888, true, QImage::Format_RGB888},
        {"grayscale", {64, 48}, QImage::Format_Grayscale8, false, QImage::Format_Grayscale8},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const QString path = pathOf(QString::fromLatin1(row.name) + QStringLiteral(".jpg"));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(thumbnailJpegQuality);
        writer.setProgressiveScanWrite(row.progressive);
        ASSERT_TRUE(writer.write(detailed(row.size, row.written)));

        const QImage decoded = loadCachedImage(path);
        const QImage byQt = QImageReader(path).read();
        ASSERT_FALSE(byQt.isNull());
        EXPECT_EQ(decoded.format(), row.expected);
        ASSERT_EQ(decoded.size(), row.size);
        EXPECT_LE(largestDifference(decoded, byQt, row.expected), 1);
    }
}

TEST_F(JpegPixelsTest, WhatIsNoDecodableJpegGivesANullImage)
{
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(detailed({64, 48}, QImage::Format_RGB888).save(&buffer, "jpeg"));
    }
    QByteArray png;
    {
        QBuffer buffer(&png);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(detailed({64, 48}, QImage::Format_RGB888).save(&buffer, "png"));
    }
    // A cached file is a JPEG or nothing: a PNG under its name is not read.
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", {}},
        {"text", "not a picture at all"},
        {"a PNG", png},
        {"cut inside the header", jpeg.left(100)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(decodeJpegPixels(bytes, gridPixels).image.isNull());
        EXPECT_TRUE(loadCachedImage(writeFile(QString::fromLatin1(name), bytes)).isNull());
    }
    EXPECT_TRUE(loadCachedImage(pathOf(QStringLiteral("missing.jpg"))).isNull());
    EXPECT_FALSE(decodeJpegPixels(jpeg, gridPixels).damaged);
    const JpegPixels cut = decodeJpegPixels(jpeg.left(jpeg.size() - 200), gridPixels);
    EXPECT_FALSE(cut.image.isNull()) << "a cut tail decodes as far as it goes";
    EXPECT_TRUE(cut.damaged);
    // An error libjpeg stops at after the rows (a second frame where the end
    // marker was) leaves them all.
    const JpegPixels secondFrame
        = decodeJpegPixels(jpeg.left(jpeg.size() - 2) + QByteArray("\xFF\xC0\x00\x04\x00\x00", 6), gridPixels);
    EXPECT_EQ(secondFrame.image.size(), QSize(64, 48));
    EXPECT_TRUE(secondFrame.damaged);
}

} // namespace
} // namespace pivra
