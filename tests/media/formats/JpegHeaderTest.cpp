#include "media/MediaLibraries.h"
#include "media/formats/JpegHeader.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <vips/vips.h>

namespace pivra {
namespace {

class JpegHeaderTest : public test::TempFolderTest {
protected:
    QByteArray qtJpeg(QImage::Format format, bool progressive = false) const
    {
        QImage pixels(64, 48, format);
        pixels.fill(Qt::darkCyan);
        const QString path = pathOf("qt.jpg");
        QImageWriter writer(path, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        EXPECT_TRUE(writer.write(pixels));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    bool writeCmyk(const QString& path) const
    {
        const QByteArray pixels(64 * 48 * 4, char(90));
        VipsImage* image = vips_image_new_from_memory(pixels.constData(), size_t(pixels.size()), 64, 48, 4,
                                                      VIPS_FORMAT_UCHAR);
        if (!image) {
            return false;
        }
        image->Type = VIPS_INTERPRETATION_CMYK;
        const bool written = vips_image_write_to_file(image, QFile::encodeName(path).constData(), nullptr) == 0;
        g_object_unref(image);
        return written;
    }
};

// The frame reader and the general header reader must agree on every JPEG the
// frame reader answers; the rest it must leave to the general reader.
TEST_F(JpegHeaderTest, AgreesWithTheGeneralReaderOrLeavesTheFileToIt)
{
    initializeMediaLibraries();
    test::ExifFields printed;
    printed.dotsPerInch = 72;
    ASSERT_TRUE(test::makeJpeg(pathOf("exif-inches.jpg"), QSize(64, 48), printed));
    ASSERT_TRUE(test::makeJpeg(pathOf("exif-centimetres.jpg"), QSize(64, 48), printed));
    {
        auto image = Exiv2::ImageFactory::open(pathOf("exif-centimetres.jpg").toStdString());
        image->readMetadata();
        image->exifData()["Exif.Image.ResolutionUnit"] = uint16_t(3);
        image->writeMetadata();
    }
    const QByteArray jfif = qtJpeg(QImage::Format_RGB32); // Qt writes its 96 dpi as JFIF density
    writeFile("jfif.jpg", jfif);
    writeFile("grey.jpg", qtJpeg(QImage::Format_Grayscale8));
    const QByteArray progressive = qtJpeg(QImage::Format_RGB32, true);
    ASSERT_TRUE(progressive.contains("\xFF\xC2"));
    writeFile("progressive.jpg", progressive);
    QByteArray lateFrame = jfif;
    const QByteArray padding = QByteArray("\xFF\xEF\xFF\xFF", 4) + QByteArray(0xFFFF - 2, 'p');
    lateFrame.insert(lateFrame.indexOf("\xFF\xC0"), padding.repeated(3));
    writeFile("late-frame.jpg", lateFrame);
    QByteArray aspectOnly = jfif;
    aspectOnly[13] = 0; // the JFIF unit: the densities give only the pixels' shape
    writeFile("aspect-only.jpg", aspectOnly);
    ASSERT_TRUE(writeCmyk(pathOf("cmyk.jpg")));

    const QList<QPair<QString, bool>> rows{
        {"exif-inches.jpg", true}, {"exif-centimetres.jpg", true}, {"jfif.jpg", true},
        {"grey.jpg", true},        {"progressive.jpg", true},      {"late-frame.jpg", true},
        {"aspect-only.jpg", true}, {"cmyk.jpg", false},
    };
    for (const auto& [name, answers] : rows) {
        const std::optional<PixelHeader> general = readImageHeader(pathOf(name));
        ASSERT_TRUE(general) << name.toStdString();
        const std::optional<MediaFile> file = MediaFile::open(pathOf(name));
        ASSERT_TRUE(file);
        QByteArray head;
        const std::optional<JpegLayout> layout = readJpegHead(*file, head);
        ASSERT_TRUE(layout) << name.toStdString();
        auto image = Exiv2::ImageFactory::open(pathOf(name).toStdString());
        image->readMetadata();
        const std::optional<PixelHeader> header = jpegHeader(*layout, image->exifData());
        ASSERT_EQ(bool(header), answers) << name.toStdString();
        if (!header) {
            continue;
        }
        EXPECT_EQ(header->width, general->width) << name.toStdString();
        EXPECT_EQ(header->height, general->height) << name.toStdString();
        EXPECT_EQ(header->depth, general->depth) << name.toStdString();
        EXPECT_EQ(header->colorModel, general->colorModel) << name.toStdString();
        EXPECT_EQ(header->hasAlpha, general->hasAlpha) << name.toStdString();
        EXPECT_EQ(header->frames, general->frames) << name.toStdString();
        EXPECT_EQ(header->dpiWidth, general->dpiWidth) << name.toStdString();
        EXPECT_EQ(header->dpiHeight, general->dpiHeight) << name.toStdString();
    }
}

} // namespace
} // namespace pivra
