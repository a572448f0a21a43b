#include "media/MediaLibraries.h"
#include "media/metadata/MediaMetadata.h"
#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QImage>
#include <QUuid>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>


namespace pivra::test {
namespace {

// What editors and cameras put in a packet, some of it echoing the Exif.
const QList<std::pair<QString, QString>> editorPacket{
    {QStringLiteral("Xmp.xmp.CreatorTool"), QStringLiteral("Photo Editor 7.2")},
    {QStringLiteral("Xmp.xmp.Rating"), QStringLiteral("4")},
    {QStringLiteral("Xmp.xmp.CreateDate"), QStringLiteral("2019-03-02T08:00:00")},
    {QStringLiteral("Xmp.photoshop.DateCreated"), QStringLiteral("2019-03-02T08:00:00")},
    {QStringLiteral("Xmp.photoshop.City"), QStringLiteral("Lyon")},
    {QStringLiteral("Xmp.dc.description"), QStringLiteral("lang=\"x-default\" A long walk by the river")},
    {QStringLiteral("Xmp.tiff.Model"), QStringLiteral("Another Model")},
};

MediaItem inspected(const QString& path)
{
    FileValues values;
    values.fileSize = 1000; // the same for both files of a pair: only what they hold may differ
    values.contentModificationDate = 1'600'000'000;
    return MediaMetadata::inspect(path, QUuid(), values, MediaKind::image);
}

bool holdsXmp(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    return !image->xmpData().empty();
}

struct Photo {
    const char* name;
    ExifFields exif;
    IptcFields iptc;
};

// The formats whose packet is kept from exiv2: a camera's JPEG, a phone's
// HEIC, a screen's PNG and a TIFF, laid out as DNG and most RAW files are.
const char* const formats[]{"jpg", "heic", "png", "tif"};

// A photo in the format its name ends with, with the XMP packet `xmp` unless
// it is empty. HEIF carries no IPTC.
bool makePhoto(const QString& path, QSize size, const ExifFields& exif, const IptcFields& iptc = {},
               const QByteArray& xmp = {})
{
    if (path.endsWith(QStringLiteral(".heic"))) {
        HeicFields fields;
        fields.exif = exif;
        fields.xmpPacket = xmp;
        return makeHeic(path, size, fields);
    }
    bool made = false;
    if (path.endsWith(QStringLiteral(".jpg"))) {
        made = makeJpeg(path, size, exif);
    } else {
        QImage pixels(size, QImage::Format_RGB32);
        pixels.fill(Qt::darkCyan);
        made = pixels.save(path) && addExif(path, exif);
    }
    if (!made || (!iptc.keywords.isEmpty() && !addIptc(path, iptc))) {
        return false;
    }
    if (!xmp.isEmpty()) {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        image->setXmpPacket(xmp.toStdString());
        image->writeXmpFromPacket(true);
        image->writeMetadata();
    }
    return true;
}

std::vector<Photo> photos()
{
    ExifFields phone;
    phone.dateTimeOriginal = QStringLiteral("2023:07:14 18:05:09");
    phone.make = QStringLiteral("Apple");
    phone.model = QStringLiteral("iPhone 15 Pro");
    phone.lensModel = QStringLiteral("iPhone 15 Pro back camera 6.765mm f/1.78");
    phone.latitude = -48.85;
    phone.longitude = 2.35;
    phone.liveIdentifier = QStringLiteral("6F1B2C3D-LIVE-0001");
    ExifFields turned = phone;
    turned.orientation = 6;
    turned.dotsPerInch = 300;
    IptcFields place;
    place.city = QStringLiteral("Paris");
    place.country = QStringLiteral("France");
    place.keywords = {QStringLiteral("river")};
    return {{"phone", phone, {}}, {"turned", turned, {}}, {"placed", phone, place}, {"bare", {}, {}}};
}

std::vector<std::pair<Photo, QString>> photosInEveryFormat()
{
    std::vector<std::pair<Photo, QString>> all;
    for (const Photo& photo : photos()) {
        for (const char* format : formats) {
            all.emplace_back(photo, QString::fromLatin1(format));
        }
    }
    return all;
}

using XmpPacket = TempFolderTest;

// A packet beside the Exif changes nothing the catalog keeps: the row and its
// metadata text are those of the same photo without one.
TEST_F(XmpPacket, LeavesTheRowAndItsMetadataTextAsTheyAreWithoutIt)
{
    for (const auto& [photo, format] : photosInEveryFormat()) {
        SCOPED_TRACE(QStringLiteral("%1.%2").arg(photo.name, format).toStdString());
        const QString name = QString::fromLatin1(photo.name);
        const QString plain = pathOf(QStringLiteral("%1.%2").arg(name, format));
        const QString packed = pathOf(QStringLiteral("%1-xmp.%2").arg(name, format));
        ASSERT_TRUE(makePhoto(plain, QSize(120, 80), photo.exif, photo.iptc));
        ASSERT_TRUE(makePhoto(packed, QSize(120, 80), photo.exif, photo.iptc, xmpPacket(editorPacket).value()));
        ASSERT_TRUE(holdsXmp(packed));

        const MediaItem expected = inspected(plain);
        const MediaItem actual = inspected(packed);
        EXPECT_EQ(actual.metadataJSON(), expected.metadataJSON());
        EXPECT_EQ(actual.width(), expected.width());
        EXPECT_EQ(actual.height(), expected.height());
        EXPECT_EQ(actual.captureDate(), expected.captureDate());
        EXPECT_EQ(actual.dateOrigin(), expected.dateOrigin());
        EXPECT_EQ(actual.camera(), expected.camera());
        EXPECT_EQ(actual.lens(), expected.lens());
        EXPECT_EQ(actual.liveIdentifier(), expected.liveIdentifier());
        EXPECT_EQ(actual.camera(), photo.exif.model); // the Exif is read, not lost with the packet
    }
}

// exiv2 decodes XMP under a lock of the whole process, so a scan's
// inspections must not hand it the packet. Whether they did shows in
// exiv2's namespace registry: decoding a packet registers the namespaces it
// names, so one of the photo's own stays unknown unless the packet was decoded.
TEST_F(XmpPacket, IsNeverDecodedWhileAPhotoIsInspected)
{
    initializeMediaLibraries();
    for (const char* format : formats) {
        SCOPED_TRACE(format);
        const QString path = pathOf(QStringLiteral("packed.%1").arg(format));
        const std::string probe = QStringLiteral("http://pivra.test/probe/%1/%2/")
                                      .arg(format, QUuid::createUuid().toString(QUuid::WithoutBraces))
                                      .toStdString();
        const QByteArray packet = QByteArray("<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
                                             "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                                             "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                                             "<rdf:Description rdf:about=\"\" xmlns:probe=\"")
            + QByteArray::fromStdString(probe)
            + "\" probe:Seen=\"yes\"/></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
        ExifFields exif;
        exif.model = QStringLiteral("Camera");
        ASSERT_TRUE(makePhoto(path, QSize(120, 80), exif, {}, packet));
        Exiv2::XmpProperties::unregisterNs(probe); // writing the packet decoded it
        ASSERT_TRUE(Exiv2::XmpProperties::prefix(probe).empty());

        EXPECT_EQ(inspected(path).camera(), QStringLiteral("Camera"));
        EXPECT_TRUE(Exiv2::XmpProperties::prefix(probe).empty()) << "the inspection decoded the packet";
        ASSERT_TRUE(holdsXmp(path));
        EXPECT_FALSE(Exiv2::XmpProperties::prefix(probe).empty()) << "decoding the packet left no trace";
    }
}

} // namespace
} // namespace pivra::test
