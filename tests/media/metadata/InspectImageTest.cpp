#include "catalog/model/Uuid.h"
#include "media/metadata/MediaMetadata.h"
#include "support/files/Bombs.h"
#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"
#include "support/files/PngChunk.h"
#include "support/system/TempFolder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>
#include <QTimeZone>
#include <ctime>
#include <malloc.h>
#include <thread>

namespace pivra {
namespace {

using test::ExifFields;

const QUuid sourceID = QUuid::fromString(QStringLiteral("{6B29FC40-CA47-1067-B31D-00DD010662DA}"));

class InspectImageTest : public test::TempFolderTest {
protected:
    static MediaItem inspect(const QString& path, const FileValues& values = {})
    {
        return MediaMetadata::inspect(path, sourceID, values, MediaKind::image);
    }

    static ExifFields cameraFields(int orientation)
    {
        ExifFields fields;
        fields.make = QStringLiteral("Canon");
        fields.model = QStringLiteral("Canon EOS R6");
        fields.lensModel = QStringLiteral("RF24-105mm F4 L IS USM");
        fields.orientation = orientation;
        return fields;
    }
};

// Reads local times in a zone with a known offset and puts the machine's back.
class LocalZone {
public:
    explicit LocalZone(const char* zone) : saved_(qgetenv("TZ")), hadZone_(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone()
    {
        if (hadZone_) {
            qputenv("TZ", saved_);
        } else {
            qunsetenv("TZ");
        }
        tzset();
    }

private:
    QByteArray saved_;
    bool hadZone_;
};

TEST(MediaKindTest, TablesFirstThenTheMimeDatabase)
{
    EXPECT_EQ(MediaMetadata::kind("/photos/IMG_0001.JPG"), MediaKind::image);
    EXPECT_EQ(MediaMetadata::kind("/photos/clip.MTS"), MediaKind::video);
    EXPECT_EQ(MediaMetadata::kind("/photos/raw.Cr3"), MediaKind::image);
    EXPECT_EQ(MediaMetadata::kind("/photos/icon.ico"), MediaKind::image); // known to the MIME database only
    EXPECT_EQ(MediaMetadata::kind("/photos/clip.ogv"), MediaKind::video);
    EXPECT_FALSE(MediaMetadata::kind("/photos/notes.txt"));
    EXPECT_FALSE(MediaMetadata::kind("/photos/song.mp3"));
    EXPECT_FALSE(MediaMetadata::kind("/photos/README"));
    EXPECT_FALSE(MediaMetadata::kind("/photos/odd.zzzz"));

    // The extension alone settles the tables' kinds, and only those.
    for (const char* extension : {"jpg", "cr3", "mts", "m2ts", "mov"}) {
        EXPECT_EQ(MediaMetadata::kindOfExtension(extension),
                  MediaMetadata::kind(QStringLiteral("/photos/a.") + QString::fromLatin1(extension).toUpper()))
            << extension;
    }
    for (const char* extension : {"ico", "ogv", "txt", "", "JPG"}) {
        EXPECT_FALSE(MediaMetadata::kindOfExtension(extension)) << extension;
    }
}

TEST_F(InspectImageTest, OrientationsFiveToEightSwapTheSize)
{
    for (const int orientation : {1, 5, 6, 7, 8, 9}) {
        const QString path = pathOf(QStringLiteral("o%1.jpg").arg(orientation));
        ASSERT_TRUE(test::makeJpeg(path, QSize(400, 300), cameraFields(orientation)));
        const MediaItem item = inspect(path);
        const bool swapped = orientation >= 5 && orientation <= 8;
        EXPECT_EQ(item.width(), swapped ? 300 : 400) << orientation;
        EXPECT_EQ(item.height(), swapped ? 400 : 300) << orientation;
    }
}

TEST_F(InspectImageTest, FillsIdentityCameraAndLensFromTheFile)
{
    const QString path = pathOf("IMG_0001.JPG");
    ASSERT_TRUE(test::makeJpeg(path, QSize(40, 30), cameraFields(1)));
    const MediaItem item = inspect(path, FileValues{1700000000.5, std::nullopt, 12345});
    EXPECT_EQ(item.id(), uuidString(sourceID) + ":" + path);
    EXPECT_EQ(item.sourceID(), sourceID);
    EXPECT_EQ(item.path(), path);
    EXPECT_EQ(item.name(), "IMG_0001.JPG");
    EXPECT_EQ(item.kind(), MediaKind::image);
    EXPECT_EQ(item.camera(), QString("Canon EOS R6")); // the model; the make is not used
    EXPECT_EQ(item.lens(), QString("RF24-105mm F4 L IS USM"));
    EXPECT_EQ(item.fileSize(), 12345);
    EXPECT_EQ(item.modifiedAt(), 1700000000.5);
    EXPECT_FALSE(item.duration());
    EXPECT_TRUE(item.metadataJSON());
    EXPECT_EQ(item.rotationQuarters(), 0);
    EXPECT_FALSE(item.isFavorite());
    EXPECT_FALSE(item.thumbnailKey());
    EXPECT_FALSE(item.liveVideoPath());
}

TEST_F(InspectImageTest, FileDatesStandInForAMissingExifDate)
{
    const QString path = pathOf("plain.jpg");
    ASSERT_TRUE(test::makeJpeg(path, QSize(40, 30)));

    const MediaItem created = inspect(path, FileValues{2000.0, 1000.0, 1});
    EXPECT_EQ(created.captureDate(), 1000.0);
    EXPECT_EQ(created.dateOrigin(), "File creation");

    const MediaItem modified = inspect(path, FileValues{2000.0, std::nullopt, 1});
    EXPECT_EQ(modified.captureDate(), 2000.0);
    EXPECT_EQ(modified.dateOrigin(), "File modification");

    const MediaItem undated = inspect(path, FileValues{});
    EXPECT_EQ(undated.captureDate(), distantPast);
    EXPECT_EQ(undated.modifiedAt(), distantPast);
    EXPECT_EQ(undated.dateOrigin(), "File modification");
    EXPECT_EQ(undated.fileSize(), 0);
}

TEST_F(InspectImageTest, ExifDateIsReadInTheLocalZone)
{
    const LocalZone newYork("America/New_York");
    ExifFields fields;
    fields.dateTimeOriginal = QStringLiteral("2023:07:14 18:05:09");
    ASSERT_TRUE(test::makeJpeg(pathOf("dated.jpg"), QSize(40, 30), fields));
    const MediaItem item = inspect(pathOf("dated.jpg"), FileValues{2000.0, 1000.0, 1});
    const QDateTime expected(QDate(2023, 7, 14), QTime(22, 5, 9), QTimeZone::utc()); // EDT is UTC-4
    EXPECT_EQ(item.captureDate(), double(expected.toSecsSinceEpoch()));
    EXPECT_EQ(item.dateOrigin(), "EXIF capture");

    fields.dateTimeOriginal = QStringLiteral("2023-07-14 18:05:09");
    ASSERT_TRUE(test::makeJpeg(pathOf("odd-date.jpg"), QSize(40, 30), fields));
    const MediaItem odd = inspect(pathOf("odd-date.jpg"), FileValues{2000.0, 1000.0, 1});
    EXPECT_EQ(odd.captureDate(), 1000.0);
    EXPECT_EQ(odd.dateOrigin(), "File creation");
}

// Exif dates are read as Qt's parser of the format reads them, around the
// clocks' changes too, and odd spellings included.
TEST(ExifDateTest, AgreesWithQtsFormatParser)
{
    const LocalZone newYork("America/New_York");
    const char* texts[] = {
        "2023:07:14 18:05:09", "1999:12:31 23:59:59", "2024:02:29 12:00:00", "0099:01:01 00:00:00",
        "2021:03:14 02:30:00", // skipped when the clocks went forward
        "2021:11:07 01:30:00", // seen twice when they went back
        "2023:02:29 10:00:00", "2023:13:01 10:00:00", "2023:07:14 24:00:00", "2023:07:14 18:60:09",
        "0000:00:00 00:00:00", "    :  :     :  :  ", "abcd:07:14 18:05:09", "2023:7:14 18:05:09",
        "2023:07:14 18:05:09 ", "2023-07-14 18:05:09", "2023:07:14T18:05:09", "",
    };
    for (const char* text : texts) {
        const QString exif = QString::fromLatin1(text);
        const QDateTime parsed = QDateTime::fromString(exif, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        const std::optional<Timestamp> expected =
            parsed.isValid() ? std::optional<Timestamp>(parsed.toSecsSinceEpoch()) : std::nullopt;
        EXPECT_EQ(MediaMetadata::exifDate(exif), expected) << text;
    }
}

TEST_F(InspectImageTest, TextFileNamedLikeAPhotoKeepsOnlyFileValues)
{
    const QString path = writeFile("x.jpg", "just some notes\n");
    const MediaItem item = inspect(path, FileValues{2000.0, 1000.0, 16});
    EXPECT_EQ(item.width(), 0);
    EXPECT_EQ(item.height(), 0);
    EXPECT_FALSE(item.metadataJSON());
    EXPECT_FALSE(item.camera());
    EXPECT_FALSE(item.lens());
    EXPECT_FALSE(item.liveIdentifier());
    EXPECT_EQ(item.captureDate(), 1000.0);
    EXPECT_EQ(item.fileSize(), 16);
}

TEST_F(InspectImageTest, HeicOfEitherBrandGivesTheSameSizeAndLiveIdentifierAsItsJpeg)
{
    ExifFields fields = cameraFields(6);
    fields.make = QStringLiteral("Apple");
    fields.liveIdentifier = QStringLiteral("A1B2C3D4-0000-LIVE");
    ASSERT_TRUE(test::makeJpeg(pathOf("IMG_0003.JPG"), QSize(400, 300), fields));
    test::HeicFields heic;
    heic.exif = fields;
    heic.containerOrientation = 6;
    ASSERT_TRUE(test::makeHeic(pathOf("IMG_0003.HEIC"), QSize(400, 300), heic));

    heic.majorBrand = "mif1"; // the generic brand, which libheif's sniffing only calls "maybe"
    ASSERT_TRUE(test::makeHeic(pathOf("converted.heif"), QSize(400, 300), heic));

    const MediaItem jpeg = inspect(pathOf("IMG_0003.JPG"));
    const MediaItem still = inspect(pathOf("IMG_0003.HEIC"));
    const MediaItem generic = inspect(pathOf("converted.heif"));
    EXPECT_EQ(jpeg.width(), 300);
    EXPECT_EQ(jpeg.height(), 400);
    EXPECT_EQ(still.width(), jpeg.width());
    EXPECT_EQ(still.height(), jpeg.height());
    EXPECT_EQ(generic.width(), jpeg.width());
    EXPECT_EQ(generic.height(), jpeg.height());
    EXPECT_EQ(jpeg.liveIdentifier(), QString("A1B2C3D4-0000-LIVE"));
    EXPECT_EQ(still.liveIdentifier(), jpeg.liveIdentifier());
    EXPECT_EQ(MediaMetadata::livePhotoIdentifier(pathOf("IMG_0003.HEIC"), MediaKind::image), still.liveIdentifier());
    EXPECT_EQ(MediaMetadata::livePhotoIdentifier(pathOf("IMG_0003.JPG"), MediaKind::image), jpeg.liveIdentifier());
}

TEST_F(InspectImageTest, AHeicsOrAvifsSizeIsThatOfThePictureItCodesWhateverItStates)
{
    const struct {
        const char* name;
        QSize coded;
        int orientation;
        QSize stated;
        bool av1 = false; // an AVIF
    } rows[] = {
        {"understated", QSize(640, 480), 1, QSize(64, 48)},
        {"understated and turned", QSize(640, 480), 6, QSize(64, 48)},
        {"overstated", QSize(640, 480), 1, QSize(6400, 4800)},
        {"understated grid", QSize(40, 30), 1, QSize(16, 16)}, // libheif tiles one this small
        {"understated avif", QSize(640, 480), 1, QSize(64, 48), true},
        {"understated and turned avif", QSize(640, 480), 6, QSize(64, 48), true},
    };
    for (const auto& row : rows) {
        const QString path = pathOf(QString::fromLatin1(row.name) + (row.av1 ? ".avif" : ".heic"));
        test::HeicFields fields;
        fields.containerOrientation = row.orientation;
        fields.av1 = row.av1;
        ASSERT_TRUE(test::makeHeic(path, row.coded, fields)) << row.name;
        ASSERT_TRUE(test::stateHeicSize(path, row.stated)) << row.name;
        const MediaItem item = inspect(path);
        const QSize shown = row.orientation >= 5 ? row.coded.transposed() : row.coded;
        EXPECT_EQ(QSize(item.width(), item.height()), shown) << row.name;
    }
}

TEST_F(InspectImageTest, PngMakerNoteCountsForInspectionButNotForPairing)
{
    QImage pixels(40, 30, QImage::Format_RGB32);
    pixels.fill(Qt::red);
    const QString path = pathOf("screenshot.png");
    ASSERT_TRUE(pixels.save(path));
    ExifFields fields;
    fields.make = QStringLiteral("Apple");
    fields.liveIdentifier = QStringLiteral("PNG-LIVE-ID");
    ASSERT_TRUE(test::addExif(path, fields));

    EXPECT_EQ(inspect(path).liveIdentifier(), QString("PNG-LIVE-ID"));
    EXPECT_FALSE(MediaMetadata::livePhotoIdentifier(path, MediaKind::image));
}

// A PNG with Exif made an animation: the still image, then `frames` frames
// of noise, each a stored (uncompressed) zlib stream of 1000 × 1000 RGB.
bool makeAnimatedPng(const QString& path, const ExifFields& fields, int frames)
{
    constexpr int side = 1000;
    QImage still(side, side, QImage::Format_RGB888);
    still.fill(Qt::darkYellow);
    if (!still.save(path) || !test::addExif(path, fields)) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    const QByteArray png = file.readAll();
    constexpr int afterHeader = 8 + 25; // signature, IHDR
    const qsizetype end = png.lastIndexOf("IEND") - 4;
    const auto number = [](std::uint32_t value) {
        QByteArray bytes(4, Qt::Uninitialized);
        qToBigEndian(value, bytes.data());
        return bytes;
    };
    QByteArray rows(qsizetype(side) * (1 + 3 * side), Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(rows.data()), rows.size() / 4);
    for (qsizetype row = 0; row < side; ++row) {
        rows[row * (1 + 3 * side)] = 0; // no filter
    }
    const QByteArray frame = qCompress(rows, 0).mid(4); // a zlib stream, without Qt's length
    QByteArray animation = png.left(afterHeader) + test::pngChunk("acTL", QByteArray(number(frames) + number(0)))
        + png.mid(afterHeader, end - afterHeader);
    std::uint32_t sequence = 0;
    for (int i = 0; i < frames; ++i) {
        const QByteArray control = number(sequence++) + number(side) + number(side) + number(0) + number(0)
            + QByteArray("\x00\x01\x00\x64\x00\x00", 6); // 1/100 s, no disposal or blending
        animation += test::pngChunk("fcTL", control) + test::pngChunk("fdAT", QByteArray(number(sequence++) + frame));
    }
    animation += png.mid(end);
    file.resize(0);
    return file.seek(0) && file.write(animation) == animation.size();
}

TEST_F(InspectImageTest, AnAnimatedPngIsInspectedWithoutReadingItsFrames)
{
    ExifFields fields = cameraFields(1);
    const QString animated = pathOf("animated.png");
    ASSERT_TRUE(makeAnimatedPng(animated, fields, 13));
    ASSERT_GT(QFileInfo(animated).size(), 38'000'000);
    inspect(animated); // the readers' first use sets up what they keep

    test::resetPeakMemory();
    const std::int64_t before = test::peakMemory();
    const MediaItem item = inspect(animated);
    EXPECT_LT(test::peakMemory() - before, std::int64_t(1) << 20);
    EXPECT_EQ(item.camera(), fields.model);
    EXPECT_EQ(item.width(), 1000);
}

TEST_F(InspectImageTest, EmptyLiveIdentifierIsNone)
{
    ExifFields fields;
    fields.make = QStringLiteral("Apple");
    fields.liveIdentifier = QString();
    ASSERT_TRUE(test::makeJpeg(pathOf("empty.jpg"), QSize(40, 30), fields));
    EXPECT_FALSE(inspect(pathOf("empty.jpg")).liveIdentifier());
    EXPECT_FALSE(MediaMetadata::livePhotoIdentifier(pathOf("empty.jpg"), MediaKind::image));
}

// Bytes the heap has handed out and not had back, on every thread.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// A screenshot with megabytes of text chunks is read through the buffer its
// thread keeps for every photo's head; that buffer must shrink back once the
// file is read, not stay that large with the scan's thread for ever.
TEST_F(InspectImageTest, AThreadGivesBackTheHeadOfAnUnusualPhotoOnceItIsRead)
{
    QImage pixels(40, 30, QImage::Format_RGB32);
    pixels.fill(Qt::red);
    // Random, so that the compressed chunk keeps its size.
    QByteArray comment(12 << 20, Qt::Uninitialized);
    for (char& byte : comment) {
        byte = char('a' + QRandomGenerator::global()->bounded(26));
    }
    pixels.setText(QStringLiteral("Comment"), QString::fromLatin1(comment));
    ASSERT_TRUE(pixels.save(pathOf("long notes.png")));
    ASSERT_TRUE(test::makeJpeg(pathOf("photo.jpg"), QSize(40, 30), cameraFields(1)));
    comment.clear();

    std::size_t kept = 0;
    std::thread([&] {
        inspect(pathOf("photo.jpg")); // the thread's buffer and exiv2 in use
        const std::size_t before = heapInUse();
        EXPECT_EQ(inspect(pathOf("long notes.png")).width(), 40);
        kept = heapInUse() - std::min(before, heapInUse());
    }).join();
    EXPECT_LT(kept, std::size_t(2) << 20);
}

} // namespace
} // namespace pivra
