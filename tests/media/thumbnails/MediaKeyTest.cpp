#include "media/thumbnails/MediaKey.h"

#include "support/system/TempFolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>

namespace pivra {
namespace {

using test::TempFolderTest;

class MediaKeyTest : public TempFolderTest {
protected:
    MediaItem itemAt(const QString& path, MediaKind kind) const
    {
        MediaItem item;
        item.setPath(path);
        item.setKind(kind);
        item.setFileSize(QFile(path).size());
        return item;
    }

    QByteArray randomBytes(int size) const
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(size);
        for (char& byte : bytes) {
            byte = char(generator.bounded(256));
        }
        return bytes;
    }

    // The digest input written out by hand, hashed by Qt's own SHA-256, so
    // neither the stream nor the hashing shares code with the key itself.
    static QString expected(const QByteArray& stream)
    {
        return QString::fromLatin1(QCryptographicHash::hash(stream, QCryptographicHash::Sha256).toHex());
    }
};

TEST_F(MediaKeyTest, PhotoKeyHashesHeaderAndWholeContent)
{
    const QString path = pathOf(QStringLiteral("photo.jpg"));
    QImage noise(1600, 1200, QImage::Format_RGB32);
    QRandomGenerator generator(7);
    for (int y = 0; y < noise.height(); ++y) {
        generator.fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
    }
    ASSERT_TRUE(noise.save(path, "JPEG", 95));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    ASSERT_GT(content.size(), 1 << 20) << "the fixture should span more than one read chunk";

    const MediaItem item = itemAt(path, MediaKind::image);
    const QByteArray stream = "pivra-v2:image:" + QByteArray::number(content.size()) + ":" + content;
    EXPECT_EQ(contentKey(item), expected(stream));

    // The catalog's size goes into the header, not a fresh one from the file.
    MediaItem stale = item;
    stale.setFileSize(12);
    EXPECT_EQ(contentKey(stale), expected("pivra-v2:image:12:" + content));
}

TEST_F(MediaKeyTest, EmptyPhotoHashesTheHeaderAlone)
{
    const MediaItem item = itemAt(writeFile(QStringLiteral("empty.jpg"), {}), MediaKind::image);
    // Checked once against `printf 'pivra-v2:image:0:' | sha256sum`.
    EXPECT_EQ(contentKey(item), QStringLiteral("974f9735dbc759b8eaa0464ab6f8139539dbddbfa4a2383ae75d69c33802399e"));
}

TEST_F(MediaKeyTest, VideoKeyHashesThreeSamplesWithTheirOffsets)
{
    const QByteArray content = randomBytes(1'000'000);
    const MediaItem item = itemAt(writeFile(QStringLiteral("clip.mov"), content), MediaKind::video);
    const QByteArray stream = "pivra-v2:video:1000000:" + QByteArray("0:") + content.mid(0, 65536) +
                              "467232:" + content.mid(467232, 65536) + "934464:" + content.mid(934464, 65536);
    EXPECT_EQ(contentKey(item), expected(stream));
}

TEST_F(MediaKeyTest, ShortVideoOffsetsCollapseIntoOneSample)
{
    for (const int size : {10'000, 40'000}) {
        const QByteArray content = randomBytes(size);
        const QString name = QStringLiteral("short-%1.mp4").arg(size);
        const MediaItem item = itemAt(writeFile(name, content), MediaKind::video);
        EXPECT_EQ(contentKey(item), expected("pivra-v2:video:" + QByteArray::number(size) + ":0:" + content))
            << size;
    }
}

TEST_F(MediaKeyTest, MiddleSampleOfAVideoJustOverOneSampleLong)
{
    // 70,000 bytes: offsets 0, 2,232 and 4,464, each reading to the end or 64 KiB.
    const QByteArray content = randomBytes(70'000);
    const MediaItem item = itemAt(writeFile(QStringLiteral("mid.mp4"), content), MediaKind::video);
    const QByteArray stream = "pivra-v2:video:70000:0:" + content.mid(0, 65536) + "2232:" + content.mid(2232, 65536) +
                              "4464:" + content.mid(4464, 65536);
    EXPECT_EQ(contentKey(item), expected(stream));
}

TEST_F(MediaKeyTest, CopiesShareAKeyAndMissingFilesHaveNone)
{
    const QByteArray content = randomBytes(5000);
    const MediaItem first = itemAt(writeFile(QStringLiteral("a/same.jpg"), content), MediaKind::image);
    const MediaItem second = itemAt(writeFile(QStringLiteral("b/same.jpg"), content), MediaKind::image);
    ASSERT_TRUE(contentKey(first));
    EXPECT_EQ(contentKey(first), contentKey(second));

    MediaItem asVideo = first;
    asVideo.setKind(MediaKind::video);
    EXPECT_NE(contentKey(first), contentKey(asVideo)) << "the kind word is part of the key";

    EXPECT_FALSE(contentKey(itemAt(pathOf(QStringLiteral("gone.jpg")), MediaKind::image)));
}

TEST_F(MediaKeyTest, ValidKeysAreSixtyFourLowercaseHexDigits)
{
    const QString good = QString(64, QLatin1Char('a')).replace(0, 10, QStringLiteral("0123456789"));
    EXPECT_TRUE(isValidKey(good));
    EXPECT_FALSE(isValidKey(good.toUpper()));
    EXPECT_FALSE(isValidKey(good.left(63)));
    EXPECT_FALSE(isValidKey(QString(good + QLatin1Char('a'))));
    EXPECT_FALSE(isValidKey(QString(good).replace(5, 1, QLatin1Char('g'))));
    EXPECT_FALSE(isValidKey(QString()));
}

TEST_F(MediaKeyTest, TimeTextIsShortestExactWithAFraction)
{
    EXPECT_EQ(timeText(1700000000), QStringLiteral("1700000000.0"));
    EXPECT_EQ(timeText(1700000000.25), QStringLiteral("1700000000.25"));
    EXPECT_EQ(timeText(1700000000.123456), QStringLiteral("1700000000.123456"));
    EXPECT_EQ(timeText(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(timeText(0), QStringLiteral("0.0"));
    EXPECT_EQ(timeText(-62135596800), QStringLiteral("-62135596800.0"));
    EXPECT_EQ(timeText(1e-05), QStringLiteral("1e-05"));
    EXPECT_EQ(timeText(1e16), QStringLiteral("1e+16"));
}

TEST_F(MediaKeyTest, DigestTextHashesUtf8)
{
    EXPECT_EQ(digestText(QStringLiteral("pivra-v2:image:0:")),
              QStringLiteral("974f9735dbc759b8eaa0464ab6f8139539dbddbfa4a2383ae75d69c33802399e"));
    EXPECT_EQ(digestText(QStringLiteral("Çay")), expected(QStringLiteral("Çay").toUtf8()));
}

} // namespace
} // namespace pivra
