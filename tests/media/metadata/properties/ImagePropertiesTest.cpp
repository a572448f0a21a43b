#include "media/metadata/properties/ImageProperties.h"
#include "media/metadata/MediaMetadata.h"
#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QImage>
#include <exiv2/exiv2.hpp>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pivra {
namespace {

using test::ExifFields;

class ImagePropertiesTest : public test::TempFolderTest {
protected:
    static ExifFields iphoneFields()
    {
        ExifFields fields;
        fields.dateTimeOriginal = QStringLiteral("2023:07:14 18:05:09");
        fields.make = QStringLiteral("Apple");
        fields.model = QStringLiteral("iPhone 15 Pro");
        fields.lensModel = QStringLiteral("iPhone 15 Pro back camera 6.765mm f/1.78");
        fields.latitude = -48.85;
        fields.longitude = 2.35;
        fields.liveIdentifier = QStringLiteral("6F1B2C3D-LIVE-0001");
        return fields;
    }

    static QVariantMap group(const QVariantMap& properties, const char* name)
    {
        return properties.value(QString::fromLatin1(name)).toMap();
    }
};

TEST_F(ImagePropertiesTest, JpegGroupsCarryThePlatformKeysAndValueShapes)
{
    ExifFields fields = iphoneFields();
    fields.orientation = 6;
    const QString path = pathOf("IMG_0001.JPG");
    ASSERT_TRUE(test::makeJpeg(path, QSize(400, 300), fields));

    const std::optional<QVariantMap> properties = readImageProperties(path);
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->value("PixelWidth").toInt(), 400); // stored size; the orientation says how to show it
    EXPECT_EQ(properties->value("PixelHeight").toInt(), 300);
    EXPECT_EQ(properties->value("Orientation").toInt(), 6);
    EXPECT_EQ(properties->value("ColorModel").toString(), "RGB");
    EXPECT_EQ(properties->value("Depth").toInt(), 8);

    const QVariantMap tiff = group(*properties, "{TIFF}");
    EXPECT_EQ(tiff.value("Make").toString(), "Apple");
    EXPECT_EQ(tiff.value("Model").toString(), "iPhone 15 Pro");
    EXPECT_EQ(tiff.value("Orientation").typeId(), QMetaType::LongLong);

    const QVariantMap exif = group(*properties, "{Exif}");
    EXPECT_EQ(exif.value("DateTimeOriginal").toString(), "2023:07:14 18:05:09");
    EXPECT_EQ(exif.value("LensModel").toString(), "iPhone 15 Pro back camera 6.765mm f/1.78");
    EXPECT_FALSE(exif.contains("MakerNote"));

    const QVariantMap gps = group(*properties, "{GPS}");
    EXPECT_NEAR(gps.value("Latitude").toDouble(), 48.85, 1e-6); // positive, the hemisphere beside it
    EXPECT_EQ(gps.value("LatitudeRef").toString(), "S");
    EXPECT_NEAR(gps.value("Longitude").toDouble(), 2.35, 1e-6);
    EXPECT_EQ(gps.value("LongitudeRef").toString(), "E");
    EXPECT_EQ(gps.value("GPSVersion").toList(), (QVariantList{2, 2, 0, 0}));

    EXPECT_EQ(group(*properties, "{MakerApple}").value("17").toString(), "6F1B2C3D-LIVE-0001");
}

TEST_F(ImagePropertiesTest, ExifEntriesTakeThePlatformNamesAndShapes)
{
    const QString path = pathOf("shapes.jpg");
    ASSERT_TRUE(test::makeJpeg(path, QSize(64, 48), iphoneFields()));
    {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Photo.ExifVersion"] = "48 50 51 50"; // "0232"
        exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(100);
        exif["Exif.Photo.FocalLengthIn35mmFilm"] = uint16_t(26);
        exif["Exif.Photo.SubSecTimeOriginal"] = "123";
        exif["Exif.Photo.UserComment"] = "charset=Ascii taken at dusk";
        exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 0);
        exif["Exif.Photo.FNumber"] = Exiv2::URational(178, 100);
        image->writeMetadata();
    }
    const std::optional<QVariantMap> properties = readImageProperties(path);
    ASSERT_TRUE(properties);
    const QVariantMap exif = group(*properties, "{Exif}");
    EXPECT_EQ(exif.value("ExifVersion").toList(), (QVariantList{2, 3, 2}));
    EXPECT_EQ(exif.value("ISOSpeedRatings").toList(), (QVariantList{100}));
    EXPECT_EQ(exif.value("FocalLenIn35mmFilm").toInt(), 26);
    EXPECT_EQ(exif.value("SubsecTimeOriginal").toString(), "123");
    EXPECT_EQ(exif.value("UserComment").toString(), "taken at dusk");
    EXPECT_DOUBLE_EQ(exif.value("FNumber").toDouble(), 1.78);

    const QJsonObject stored = QJsonDocument::fromJson(MediaMetadata::imageMetadataJSON(path)->toUtf8()).object();
    EXPECT_FALSE(stored.value("{Exif}").toObject().contains("ExposureTime")); // a zero denominator has no value
    EXPECT_EQ(stored.value("{Exif}").toObject().value("FNumber").toDouble(), 1.78);
}

TEST_F(ImagePropertiesTest, GpsTextsAreDecodedByTheirStoredType)
{
    const QString path = pathOf("gps-texts.jpg");
    ASSERT_TRUE(test::makeJpeg(path, QSize(64, 48), iphoneFields()));
    {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        const Exiv2::AsciiValue plain("gps"); // as some phones write it, without a character-set header
        image->exifData().add(Exiv2::ExifKey("Exif.GPSInfo.GPSProcessingMethod"), &plain);
        image->exifData()["Exif.GPSInfo.GPSAreaInformation"] = "charset=Ascii Montmartre"; // UNDEFINED, with one
        image->writeMetadata();
    }
    const std::optional<QVariantMap> properties = readImageProperties(path);
    ASSERT_TRUE(properties);
    const QVariantMap gps = group(*properties, "{GPS}");
    EXPECT_EQ(gps.value("ProcessingMethod").toString(), "gps");
    EXPECT_EQ(gps.value("AreaInformation").toString(), "Montmartre");
}

TEST_F(ImagePropertiesTest, StoredJsonReadsBackAsASouthernLocation)
{
    const QString path = pathOf("south.jpg");
    ASSERT_TRUE(test::makeJpeg(path, QSize(64, 48), iphoneFields()));

    const std::optional<QString> json = MediaMetadata::imageMetadataJSON(path);
    ASSERT_TRUE(json);
    const QJsonObject object = QJsonDocument::fromJson(json->toUtf8()).object();
    EXPECT_EQ(object.value("{MakerApple}").toObject().value("17").toString(), "6F1B2C3D-LIVE-0001");
    EXPECT_FALSE(object.value("{MakerApple}").toObject().contains("2")); // opaque bytes are not text

    const std::optional<GeoLocation> location = MediaMetadata::location(json, MediaKind::image);
    ASSERT_TRUE(location);
    EXPECT_NEAR(location->latitude, -48.85, 1e-6);
    EXPECT_NEAR(location->longitude, 2.35, 1e-6);

    ExifFields western = iphoneFields();
    western.latitude = 40.75;
    western.longitude = -73.99;
    ASSERT_TRUE(test::makeJpeg(pathOf("west.jpg"), QSize(64, 48), western));
    const auto west = MediaMetadata::location(MediaMetadata::imageMetadataJSON(pathOf("west.jpg")), MediaKind::image);
    ASSERT_TRUE(west);
    EXPECT_NEAR(west->longitude, -73.99, 1e-6);
}

TEST_F(ImagePropertiesTest, GpsWithoutCameraGivesNoLocation)
{
    ExifFields fields;
    fields.latitude = 41.01;
    fields.longitude = 28.97;
    ASSERT_TRUE(test::makeJpeg(pathOf("edited.jpg"), QSize(64, 48), fields));
    const std::optional<QString> json = MediaMetadata::imageMetadataJSON(pathOf("edited.jpg"));
    ASSERT_TRUE(json);
    EXPECT_TRUE(json->contains("\"{GPS}\""));
    EXPECT_FALSE(MediaMetadata::location(json, MediaKind::image));
}

TEST_F(ImagePropertiesTest, IptcPlacesUseThePlatformSpelling)
{
    const QString path = pathOf("iptc.jpg");
    ASSERT_TRUE(test::makeJpeg(path, QSize(64, 48), iphoneFields()));
    test::IptcFields iptc;
    iptc.city = QStringLiteral("İstanbul");
    iptc.provinceState = QStringLiteral("Marmara");
    iptc.country = QStringLiteral("Türkiye");
    iptc.countryCode = QStringLiteral("TR");
    iptc.keywords = {QStringLiteral("bridge"), QStringLiteral("night")};
    ASSERT_TRUE(test::addIptc(path, iptc));

    const std::optional<QVariantMap> properties = readImageProperties(path);
    ASSERT_TRUE(properties);
    const QVariantMap group = properties->value("{IPTC}").toMap();
    EXPECT_EQ(group.value("City").toString(), "İstanbul");
    EXPECT_EQ(group.value("Province/State").toString(), "Marmara");
    EXPECT_EQ(group.value("Country/PrimaryLocationName").toString(), "Türkiye");
    EXPECT_EQ(group.value("Country/PrimaryLocationCode").toString(), "TR");
    EXPECT_EQ(group.value("Keywords").toList(), (QVariantList{"bridge", "night"}));
}

TEST_F(ImagePropertiesTest, HeicReportsTheDisplayedSizeWithOrientationAppliedOnce)
{
    test::HeicFields fields;
    fields.exif = iphoneFields();
    fields.exif.orientation = 6;
    fields.containerOrientation = 6;
    const QString path = pathOf("IMG_0002.HEIC");
    ASSERT_TRUE(test::makeHeic(path, QSize(400, 300), fields));

    const std::optional<QVariantMap> properties = readImageProperties(path);
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->value("PixelWidth").toInt(), 300);
    EXPECT_EQ(properties->value("PixelHeight").toInt(), 400);
    EXPECT_EQ(properties->value("Orientation").toInt(), 1);
    EXPECT_EQ(group(*properties, "{TIFF}").value("Orientation").toInt(), 6); // kept as stored
    EXPECT_EQ(group(*properties, "{MakerApple}").value("17").toString(), "6F1B2C3D-LIVE-0001");
    EXPECT_NEAR(group(*properties, "{GPS}").value("Latitude").toDouble(), 48.85, 1e-6);
}

TEST_F(ImagePropertiesTest, HeicWithOnlyAnExifOrientationIsNotTurned)
{
    // libheif and libvips show such a file as stored; the size must agree
    // with the thumbnail they make.
    test::HeicFields fields;
    fields.exif.orientation = 6;
    ASSERT_TRUE(test::makeHeic(pathOf("exif-only.heic"), QSize(400, 300), fields));
    const std::optional<QVariantMap> properties = readImageProperties(pathOf("exif-only.heic"));
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->value("PixelWidth").toInt(), 400);
    EXPECT_EQ(properties->value("PixelHeight").toInt(), 300);
    EXPECT_EQ(properties->value("Orientation").toInt(), 1);
}

TEST_F(ImagePropertiesTest, ResolutionOnlyWhereTheFileHoldsOne)
{
    ExifFields printed;
    printed.dotsPerInch = 72;
    QImage pixels(128, 96, QImage::Format_RGB32);
    pixels.fill(Qt::darkCyan);
    ASSERT_TRUE(pixels.save(pathOf("plain.webp")));
    ASSERT_TRUE(pixels.save(pathOf("plain.bmp"))); // read by Qt: no libvips loader that may be trusted reads BMP
    ASSERT_TRUE(pixels.save(pathOf("printed.webp")) && test::addExif(pathOf("printed.webp"), printed));
    test::HeicFields heic;
    heic.exif = printed;
    ASSERT_TRUE(test::makeHeic(pathOf("printed.heic"), QSize(128, 96), heic));
    ASSERT_TRUE(test::makeGif(pathOf("plain.gif"), QSize(128, 96)));
    ASSERT_TRUE(test::makeJpeg(pathOf("jfif.jpg"), QSize(128, 96))); // Qt writes its 96 dpi as JFIF density
    pixels.setDotsPerMeterX(11811); // 300 dpi, kept in a pHYs chunk
    pixels.setDotsPerMeterY(11811);
    ASSERT_TRUE(pixels.save(pathOf("print.png")));
    QFile png(pathOf("print.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    QByteArray bare = png.readAll();
    bare.remove(bare.indexOf("pHYs") - 4, 21); // length, type, 9 bytes of data, CRC
    writeFile("bare.png", bare);

    const QList<QPair<QString, std::optional<double>>> rows{
        {"plain.webp", std::nullopt}, {"printed.webp", 72.0}, {"printed.heic", 72.0}, {"plain.gif", std::nullopt},
        {"jfif.jpg", 96.0},           {"print.png", 300.0},   {"bare.png", std::nullopt},
        {"plain.bmp", std::nullopt},
    };
    for (const auto& [name, dpi] : rows) {
        const std::optional<QVariantMap> properties = readImageProperties(pathOf(name));
        ASSERT_TRUE(properties) << name.toStdString();
        EXPECT_EQ(properties->value("PixelWidth").toInt(), 128) << name.toStdString();
        EXPECT_EQ(properties->contains("DPIWidth"), bool(dpi)) << name.toStdString();
        EXPECT_EQ(properties->contains("DPIHeight"), bool(dpi)) << name.toStdString();
        EXPECT_NEAR(properties->value("DPIWidth").toDouble(), dpi.value_or(0), 0.01) << name.toStdString();
        EXPECT_NEAR(properties->value("DPIHeight").toDouble(), dpi.value_or(0), 0.01) << name.toStdString();
    }
}

TEST_F(ImagePropertiesTest, PngHeaderGivesDepthAndAlpha)
{
    QImage pixels(30, 20, QImage::Format_ARGB32);
    pixels.fill(QColor(10, 20, 30, 40));
    ASSERT_TRUE(pixels.save(pathOf("alpha.png")));
    const std::optional<QVariantMap> properties = readImageProperties(pathOf("alpha.png"));
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->value("PixelWidth").toInt(), 30);
    EXPECT_EQ(properties->value("PixelHeight").toInt(), 20);
    EXPECT_TRUE(properties->value("HasAlpha").toBool());
    EXPECT_FALSE(properties->contains("Orientation"));
}

} // namespace
} // namespace pivra
