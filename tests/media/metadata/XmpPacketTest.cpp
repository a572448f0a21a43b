#include "media/MediaLibraries.h"
#include "media/metadata/MediaMetadata.h"
#include "support/JpegMaker.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QImage>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

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

// The formats whose packet is kept from exiv2: a camera's JPEG and a screen's PNG.
const char* const formats[]{"jpg", "png"};

bool makePhoto(const QString& path, QSize size, const ExifFields& exif)
{
    if (path.endsWith(QStringLiteral(".jpg"))) {
        return makeJpeg(path, size, exif);
    }
    QImage pixels(size, QImage::Format_RGB32);
    pixels.fill(Qt::darkCyan);
    return pixels.save(path, "PNG") && addExif(path, exif);
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
        ASSERT_TRUE(makePhoto(plain, QSize(120, 80), photo.exif));
        if (!photo.iptc.keywords.isEmpty()) {
            ASSERT_TRUE(addIptc(plain, photo.iptc));
        }
        ASSERT_TRUE(QFile::copy(plain, packed));
        ASSERT_TRUE(addXmp(packed, editorPacket));
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

// The XMP toolkit's lock is one for the process; a scan's inspections must
// not queue on it, so a photo with a packet is read while another holds it.
TEST_F(XmpPacket, PhotosAreReadWithoutTheToolkitsLock)
{
    initializeMediaLibraries();
    for (const char* format : formats) {
        SCOPED_TRACE(format);
        const QString path = pathOf(QStringLiteral("packed.%1").arg(format));
        ExifFields exif;
        exif.model = QStringLiteral("Camera");
        ASSERT_TRUE(makePhoto(path, QSize(64, 48), exif));
        ASSERT_TRUE(addXmp(path, editorPacket));

        std::unique_lock held(xmpToolkitLock());
        std::future<MediaItem> reading = std::async(std::launch::async, [path] { return inspected(path); });
        const bool read = reading.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        held.unlock();
        EXPECT_TRUE(read) << "the photo waited for the XMP toolkit";
        EXPECT_EQ(reading.get().camera(), QStringLiteral("Camera"));
    }
}

} // namespace
} // namespace pivra::test
