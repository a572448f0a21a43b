// Damaged and hostile files must give an item with the file-system values and
// nothing read from them, and must never bring the process down.
#include "media/metadata/MediaMetadata.h"
#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>
#include <future>
#include <thread>

namespace pivra {
namespace {

struct Sample {
    QString name;
    QByteArray bytes;
    MediaKind kind;
};

class HostileFilesTest : public test::TempFolderTest {
protected:
    QByteArray readBack(const QString& path) const
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    }

    QByteArray validJpeg() const
    {
        test::ExifFields fields;
        fields.make = QStringLiteral("Apple");
        fields.model = QStringLiteral("iPhone");
        fields.orientation = 6;
        fields.latitude = 48.85;
        fields.longitude = 2.35;
        fields.liveIdentifier = QStringLiteral("LIVE-ID");
        EXPECT_TRUE(test::makeJpeg(pathOf("source.jpg"), QSize(64, 48), fields));
        return readBack(pathOf("source.jpg"));
    }

    QByteArray validHeic() const
    {
        test::HeicFields fields;
        fields.exif.make = QStringLiteral("Apple");
        fields.exif.liveIdentifier = QStringLiteral("LIVE-ID");
        fields.containerOrientation = 6;
        EXPECT_TRUE(test::makeHeic(pathOf("source.heic"), QSize(64, 48), fields));
        return readBack(pathOf("source.heic"));
    }

    QByteArray validPng() const
    {
        QImage pixels(64, 48, QImage::Format_RGB32);
        pixels.fill(Qt::blue);
        EXPECT_TRUE(pixels.save(pathOf("source.png")));
        return readBack(pathOf("source.png"));
    }

    QByteArray validVideo(const QString& name) const
    {
        test::VideoFields fields;
        fields.make = QStringLiteral("Apple");
        fields.location = QStringLiteral("+37.3349-122.0090/");
        fields.contentIdentifier = QStringLiteral("LIVE-ID");
        fields.rotation = 90;
        EXPECT_TRUE(test::makeVideo(pathOf(name), fields));
        return readBack(pathOf(name));
    }

    static MediaItem inspect(const QString& path, MediaKind kind)
    {
        return MediaMetadata::inspect(path, QUuid::createUuid(), FileValues{100.0, 50.0, 1}, kind);
    }
};

// Whether inspecting `path` returns within `limit`. The inspection runs on a
// thread of its own, left behind when it hangs, so that a hang fails the test
// instead of stopping the suite.
bool inspectsWithin(const QString& path, MediaKind kind, std::chrono::milliseconds limit)
{
    auto returned = std::make_shared<std::promise<void>>();
    std::future<void> done = returned->get_future();
    std::thread([path, kind, returned] {
        MediaMetadata::inspect(path, QUuid::createUuid(), FileValues{}, kind);
        returned->set_value();
    }).detach();
    return done.wait_for(limit) == std::future_status::ready;
}

// `count` cut points spread below `limit`, where the information a reader
// needs for the size has not been reached yet.
QList<qsizetype> cutsBelow(qsizetype limit, int count)
{
    QList<qsizetype> cuts;
    for (int index = 0; index < count; ++index) {
        cuts.append(limit * index / count);
    }
    return cuts;
}

// Offset of the first top-level ISO-BMFF box of `type`.
qsizetype boxOffset(const QByteArray& file, const char* type)
{
    qsizetype offset = 0;
    while (offset + 8 <= file.size()) {
        const quint32 size = qFromBigEndian<quint32>(file.constData() + offset);
        if (file.mid(offset + 4, 4) == type) {
            return offset;
        }
        if (size < 8) {
            break;
        }
        offset += size;
    }
    return -1;
}

QByteArray noise(qsizetype length, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(length, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = char(random.bounded(256));
    }
    return bytes;
}

TEST_F(HostileFilesTest, FiftyCutAndGarbageFilesGiveNoSizeAndNoMetadata)
{
    const QByteArray jpeg = validJpeg();
    const QByteArray heic = validHeic();
    const QByteArray png = validPng();
    const QByteArray mov = validVideo("source.mov");
    const QByteArray mp4 = validVideo("source.mp4");
    const qsizetype jpegFrame = jpeg.indexOf("\xFF\xC0");
    const qsizetype heicData = boxOffset(heic, "mdat");
    const qsizetype movIndex = boxOffset(mov, "moov");
    const qsizetype mp4Index = boxOffset(mp4, "moov");
    ASSERT_GT(jpegFrame, 0);
    ASSERT_GT(heicData, 0);
    ASSERT_GT(movIndex, 0);
    ASSERT_GT(mp4Index, 0);

    QList<Sample> samples;
    for (const qsizetype cut : cutsBelow(jpegFrame, 12)) {
        samples.append({QStringLiteral("cut%1.jpg").arg(cut), jpeg.first(cut), MediaKind::image});
    }
    for (const qsizetype cut : cutsBelow(heicData, 10)) {
        samples.append({QStringLiteral("cut%1.heic").arg(cut), heic.first(cut), MediaKind::image});
    }
    for (const qsizetype cut : cutsBelow(33, 4)) { // signature and IHDR
        samples.append({QStringLiteral("cut%1.png").arg(cut), png.first(cut), MediaKind::image});
    }
    for (const qsizetype cut : cutsBelow(movIndex + 8, 8)) {
        samples.append({QStringLiteral("cut%1.mov").arg(cut), mov.first(cut), MediaKind::video});
    }
    for (const qsizetype cut : cutsBelow(mp4Index + 8, 4)) {
        samples.append({QStringLiteral("cut%1.mp4").arg(cut), mp4.first(cut), MediaKind::video});
    }
    const QList<QPair<QString, QByteArray>> headers{
        {"jpg", QByteArray("\xFF\xD8\xFF\xE1\x10\x00" "Exif\0\0MM\0\x2A", 16)},
        {"heic", QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24)},
        {"png", QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16)},
        {"tif", QByteArray("II*\0\x08\0\0\0", 8)},
        {"webp", QByteArray("RIFF\xFF\xFF\0\0WEBPVP8 ", 16)},
        {"mov", QByteArray("\0\0\0\x14" "ftypqt  \0\0\0\0qt  ", 20)},
    };
    quint32 seed = 1;
    for (const auto& [extension, header] : headers) {
        const MediaKind kind = extension == "mov" ? MediaKind::video : MediaKind::image;
        samples.append({"noise" + QString::number(seed) + "." + extension, header + noise(3000, seed), kind});
        ++seed;
    }
    samples.append({"empty.jpg", QByteArray(), MediaKind::image});
    samples.append({"zeros.heic", QByteArray(65536, '\0'), MediaKind::image});
    samples.append({"noise.jpg", noise(100000, 99), MediaKind::image});
    samples.append({"noise.mp4", noise(100000, 98), MediaKind::video});
    samples.append({"noise.mts", noise(200000, 97), MediaKind::video});
    samples.append({"text.mov", QByteArray("ftyp moov mdat trak tkhd\n").repeated(200), MediaKind::video});
    ASSERT_EQ(samples.size(), 50);

    for (const Sample& sample : samples) {
        const QString path = writeFile("hostile/" + sample.name, sample.bytes);
        const MediaItem item = inspect(path, sample.kind);
        EXPECT_EQ(item.width(), 0) << sample.name.toStdString();
        EXPECT_EQ(item.height(), 0) << sample.name.toStdString();
        EXPECT_FALSE(item.liveIdentifier()) << sample.name.toStdString();
        EXPECT_FALSE(item.duration()) << sample.name.toStdString();
        EXPECT_EQ(item.captureDate(), 50.0) << sample.name.toStdString();
        EXPECT_EQ(item.dateOrigin(), "File creation") << sample.name.toStdString();
        EXPECT_FALSE(MediaMetadata::livePhotoIdentifier(path, sample.kind)) << sample.name.toStdString();
    }
}

TEST_F(HostileFilesTest, CutAnywhereOrScrambledFilesNeverBringTheProcessDown)
{
    const QList<Sample> sources{
        {"jpg", validJpeg(), MediaKind::image}, {"heic", validHeic(), MediaKind::image},
        {"png", validPng(), MediaKind::image},  {"mov", validVideo("source.mov"), MediaKind::video},
        {"mp4", validVideo("source.mp4"), MediaKind::video},
    };
    const auto sizeOf = [](const MediaItem& item) { return QSize(item.width(), item.height()); };
    int written = 0;
    for (const Sample& source : sources) {
        const QSize whole = sizeOf(inspect(writeFile("sweep/whole." + source.name, source.bytes), source.kind));
        ASSERT_FALSE(whole.isEmpty()) << source.name.toStdString();
        for (int step = 1; step < 20; ++step) {
            const QString cutPath = writeFile(QStringLiteral("sweep/%1-cut.%2").arg(++written).arg(source.name),
                                              source.bytes.first(source.bytes.size() * step / 20));
            // What a cut file still says is what the whole one says, or nothing.
            const QSize cut = sizeOf(inspect(cutPath, source.kind));
            EXPECT_TRUE(cut == whole || cut == QSize(0, 0)) << cutPath.toStdString() << " " << cut.width() << "x"
                                                            << cut.height();
            QByteArray scrambled = source.bytes;
            QRandomGenerator random{quint32(written)};
            for (int flip = 0; flip < 8; ++flip) {
                scrambled[random.bounded(int(scrambled.size()))] = char(random.bounded(256));
            }
            const QString scrambledPath = writeFile(
                QStringLiteral("sweep/%1-scrambled.%2").arg(written).arg(source.name), scrambled);
            // A scrambled header may declare another size, but an item has both sides or neither.
            const QSize item = sizeOf(inspect(scrambledPath, source.kind));
            EXPECT_TRUE(item == QSize(0, 0) || (item.width() > 0 && item.height() > 0))
                << scrambledPath.toStdString() << " " << item.width() << "x" << item.height();
            MediaMetadata::imageMetadataJSON(scrambledPath);
        }
    }
}

TEST_F(HostileFilesTest, TheStartOfAFilmUnderAnImageNameIsInspectedAtOnce)
{
    // exiv2 opens files by content, and its reader of RIFF films loops for
    // ever on a few hundred bytes of one.
    const QByteArray start = validVideo("source.avi").first(200);
    for (const char* name : {"film.jpg", "film.tif", "film.webp", "film.heic"}) {
        const QString path = writeFile(QString::fromLatin1(name), start);
        // A bound far from the loop's for ever, and far from what a busy or
        // instrumented machine takes for a few hundred bytes.
        EXPECT_TRUE(inspectsWithin(path, MediaKind::image, std::chrono::seconds(30))) << name;
    }
}

} // namespace
} // namespace pivra
