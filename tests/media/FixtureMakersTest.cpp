#include "support/JpegMaker.h"
#include "support/TempFolder.h"

#include <QImageReader>
#include <exiv2/exiv2.hpp>

namespace pivra {
namespace {

using FixtureMakers = test::TempFolderTest;

TEST_F(FixtureMakers, JpegWithoutExifIsStillAJpeg)
{
    const QString path = pathOf(QStringLiteral("plain.jpg"));
    ASSERT_TRUE(test::makeJpeg(path, QSize(64, 48)));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    EXPECT_EQ(reader.size(), QSize(64, 48));
}

TEST_F(FixtureMakers, JpegCarriesTheRequestedExif)
{
    const QString path = pathOf(QStringLiteral("exif.jpg"));
    test::ExifFields fields;
    fields.dateTimeOriginal = QStringLiteral("2020:03:14 15:09:26");
    fields.model = QStringLiteral("Pixel 7");
    fields.lensModel = QStringLiteral("Wide");
    fields.latitude = -33.8568;
    fields.longitude = 151.2153;
    fields.orientation = 6;
    ASSERT_TRUE(test::makeJpeg(path, QSize(40, 30), fields));

    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"))->toString(), "2020:03:14 15:09:26");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Model"))->toString(), "Pixel 7");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.LensModel"))->toString(), "Wide");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"))->toLong(), 6);
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitudeRef"))->toString(), "S");
    const auto latitude = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"));
    const double degrees = latitude->toFloat(0) + latitude->toFloat(1) / 60 + latitude->toFloat(2) / 3600;
    EXPECT_NEAR(degrees, 33.8568, 1e-5);
}

} // namespace
} // namespace pivra
