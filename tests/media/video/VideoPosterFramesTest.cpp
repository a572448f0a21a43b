#include "media/video/VideoPosterFrames.h"

#include "media/thumbnails/MediaKey.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoProperties.h"
#include "support/system/TempFolder.h"
#include "support/files/UndecodableVideos.h"
#include "support/files/VideoMaker.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace pivra {
namespace {

using test::VideoCodec;

class VideoPosterFramesTest : public test::TempFolderTest {
protected:
    QString clip(const QString& name, const test::VideoFields& fields) const
    {
        EXPECT_TRUE(test::makeVideo(pathOf(name), fields)) << qPrintable(name);
        return pathOf(name);
    }

    QByteArray bytesOf(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 70 && qBlue(pixel) < 70;
}

// The left edge of the moving block on the row through its middle.
int blockLeft(const QImage& poster, QSize stored)
{
    const int row = test::movingBlock(stored, 0).center().y() * poster.height() / stored.height();
    for (int column = 0; column < poster.width(); ++column) {
        if (qGray(poster.pixel(column, row)) < 60) {
            return column;
        }
    }
    return -1;
}

TEST_F(VideoPosterFramesTest, PostersAreUprightInTheirItemsShapeFromThePosterTime)
{
    struct Row {
        const char* name;
        QSize size;
        int rotation;
        VideoCodec codec;
        int frames; // at 25 a second: the poster is frame min(25, frames / 2)
        int pixels;
        QSize poster;
        std::optional<QSize> pixelAspect = std::nullopt;
    };
    const Row rows[] = {
        {"phone.mov", {1920, 1080}, 90, VideoCodec::h264, 30, 420, {236, 420}},
        {"upright.mp4", {320, 240}, 0, VideoCodec::hevc, 60, 420, {320, 240}},
        {"upside-down.mov", {320, 240}, 180, VideoCodec::mpeg4, 30, 420, {320, 240}},
        {"other-way.mov", {320, 240}, 270, VideoCodec::mpeg4, 30, 420, {240, 320}},
        {"viewer.mov", {320, 240}, 0, VideoCodec::mpeg4, 30, 3200, {320, 240}},
        {"short.mp4", {320, 240}, 0, VideoCodec::h264, 10, 420, {320, 240}},
        {"wide-pixels.mp4", {320, 240}, 0, VideoCodec::h264, 10, 3200, {349, 240}, QSize(12, 11)},
    };
    for (const Row& row : rows) {
        test::VideoFields fields;
        fields.size = row.size;
        fields.rotation = row.rotation;
        fields.codec = row.codec;
        fields.frames = row.frames;
        fields.pixelAspect = row.pixelAspect;
        const QString path = clip(QString::fromLatin1(row.name), fields);

        const QImage poster = VideoPosterFrames().frame(path, row.pixels);
        ASSERT_EQ(poster.size(), row.poster) << row.name;
        const std::optional<VideoProperties> item = readVideoProperties(path);
        ASSERT_TRUE(item);
        EXPECT_LE(std::abs(poster.width() * item->height - poster.height() * item->width),
                  std::max(item->width, item->height))
            << row.name << ": the item's shape";
        EXPECT_TRUE(isRed(poster.pixel(poster.width() / 2, poster.height() / 8))) << row.name;
        EXPECT_FALSE(isRed(poster.pixel(poster.width() / 2, poster.height() * 7 / 8))) << row.name;
        if (row.rotation == 0) {
            const int shown = std::min(25, row.frames / 2);
            const int expected = test::movingBlock(row.size, shown).left() * poster.width() / row.size.width();
            EXPECT_NEAR(blockLeft(poster, row.size), expected, 2) << row.name << ": frame " << shown;
        }
    }
}

TEST_F(VideoPosterFramesTest, UnreadableFilesGiveNoPosterAndCutOnesTheirLastFrame)
{
    for (const QString& path : test::makeUndecodableVideos(root())) {
        EXPECT_TRUE(VideoPosterFrames().frame(path, 420).isNull()) << qPrintable(path);
    }
    test::VideoFields whole;
    whole.frames = 50;
    const QByteArray avi = bytesOf(clip(QStringLiteral("whole.avi"), whole));
    QByteArray damaged = bytesOf(clip(QStringLiteral("whole.mp4"), whole));
    for (qsizetype at = damaged.size() / 4; at < damaged.size() / 2; ++at) {
        damaged[at] = char(at * 131);
    }
    // AVI keeps its index at its end: the cut file has none, and the length
    // estimated from its size runs past its last frame.
    const QString cut = writeFile(QStringLiteral("cut.avi"), avi.left(avi.size() / 2));
    EXPECT_FALSE(VideoPosterFrames().frame(cut, 420).isNull());
    // Whatever a damaged middle decodes to, it must not bring the reader down.
    VideoPosterFrames().frame(writeFile(QStringLiteral("damaged.mp4"), damaged), 420);
}

TEST_F(VideoPosterFramesTest, TheStoreKeepsAGridThumbnailAndAKeyForEveryVideo)
{
    const ThumbnailLocations locations = ThumbnailLocations::under(pathOf(QStringLiteral("data")),
                                                                   pathOf(QStringLiteral("cache")));
    ThumbnailStore store(locations, std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>()));
    struct Answer {
        MediaItem item;
        QSize upright;
        QImage image;
        std::optional<QString> key;
        bool done = false;
    };
    // More videos than the store renders at once, each in its own file.
    std::vector<std::shared_ptr<Answer>> answers;
    for (int index = 0; index < 8; ++index) {
        test::VideoFields fields;
        fields.frames = 10 + index;
        fields.rotation = 90 * (index % 4);
        auto answer = std::make_shared<Answer>();
        answer->upright = index % 2 == 0 ? QSize(320, 240) : QSize(240, 320);
        answer->item.setPath(clip(QStringLiteral("clip%1.mp4").arg(index), fields));
        answer->item.setID(MediaItem::makeID(QUuid(), answer->item.path()));
        answer->item.setFileSize(QFileInfo(answer->item.path()).size());
        answer->item.setKind(MediaKind::video);
        store.ensure(answer->item, true, [answer](const QImage& image, const std::optional<QString>& key) {
            answer->image = image;
            answer->key = key;
            answer->done = true;
        });
        answers.push_back(answer);
    }
    for (const auto& answer : answers) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer->done; }, 20000));
        EXPECT_EQ(answer->image.size(), answer->upright);
        EXPECT_TRUE(isRed(answer->image.pixel(answer->image.width() / 2, 10)));
        ASSERT_TRUE(answer->key);
        EXPECT_EQ(answer->key, contentKey(answer->item));
        EXPECT_TRUE(QFileInfo::exists(locations.gridFile(*answer->key)));
    }
}

} // namespace
} // namespace pivra
