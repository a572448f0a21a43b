#include "media/metadata/MediaMetadata.h"
#include "media/metadata/MediaMetadataAsync.h"
#include "platform/runtime/Drain.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace pivra {
namespace {

using test::VideoFields;

const QUuid sourceID = QUuid::fromString(QStringLiteral("{0E8C1F4A-3F0B-4C5D-9A8B-112233445566}"));

class InspectVideoTest : public test::TempFolderTest {
protected:
    static MediaItem inspect(const QString& path, const FileValues& values = {})
    {
        return MediaMetadata::inspect(path, sourceID, values, MediaKind::video);
    }

    static VideoFields iphoneClip()
    {
        VideoFields fields;
        fields.make = QStringLiteral("Apple");
        fields.model = QStringLiteral("iPhone 15 Pro");
        fields.location = QStringLiteral("+37.3349-122.0090+000.000/");
        fields.contentIdentifier = QStringLiteral("A1B2C3D4-0000-LIVE");
        return fields;
    }

    static QJsonObject metadata(const MediaItem& item)
    {
        return QJsonDocument::fromJson(item.metadataJSON().value_or(QString()).toUtf8()).object();
    }
};

TEST_F(InspectVideoTest, DisplaySizeTakesThePixelAspectThenTheTurn)
{
    struct Row {
        const char* name;
        QSize stored;
        std::optional<QSize> pixelAspect;
        int rotation;
        QSize shown;
    };
    const Row rows[]{
        {"flat.mov", {320, 240}, std::nullopt, 0, {320, 240}},
        {"portrait.mov", {320, 240}, std::nullopt, 90, {240, 320}},
        {"upside.mov", {320, 240}, std::nullopt, 180, {320, 240}},
        {"anamorphic.mp4", {176, 144}, QSize(12, 11), 0, {192, 144}},
        {"anamorphic.3gp", {176, 144}, QSize(12, 11), 90, {144, 192}},
    };
    for (const Row& row : rows) {
        VideoFields fields;
        fields.size = row.stored;
        fields.pixelAspect = row.pixelAspect;
        fields.rotation = row.rotation;
        ASSERT_TRUE(test::makeVideo(pathOf(row.name), fields)) << row.name;
        const MediaItem item = inspect(pathOf(row.name));
        EXPECT_EQ(QSize(item.width(), item.height()), row.shown) << row.name;
        ASSERT_TRUE(item.duration()) << row.name;
        EXPECT_NEAR(*item.duration(), 0.2, 0.05) << row.name; // 5 frames at 25 per second
        EXPECT_FALSE(item.camera()) << row.name;
        EXPECT_FALSE(item.lens()) << row.name;
    }
}

TEST_F(InspectVideoTest, TransportStreamSizeComesFromStreamAnalysis)
{
    VideoFields fields;
    fields.size = QSize(352, 288);
    fields.frames = 25;
    ASSERT_TRUE(test::makeVideo(pathOf("camcorder.mts"), fields));
    const MediaItem item = inspect(pathOf("camcorder.mts"));
    EXPECT_EQ(item.width(), 352);
    EXPECT_EQ(item.height(), 288);
    EXPECT_TRUE(item.duration());
}

TEST_F(InspectVideoTest, ProgramStreamAndAviGetTheirSizeAndDuration)
{
    // A program stream names its streams only in its packets, and AVI's
    // duration comes out of the stream analysis: neither is in the header.
    VideoFields fields;
    fields.frames = 25;
    for (const char* name : {"dvd.mpg", "camera.avi"}) {
        ASSERT_TRUE(test::makeVideo(pathOf(name), fields)) << name;
        const MediaItem item = inspect(pathOf(name));
        EXPECT_EQ(item.width(), 320) << name;
        EXPECT_EQ(item.height(), 240) << name;
        ASSERT_TRUE(item.duration()) << name;
        EXPECT_NEAR(*item.duration(), 1.0, 0.1) << name;
    }
}

TEST_F(InspectVideoTest, CreationDateComesFromTheContainer)
{
    VideoFields fields;
    fields.creationTime = QStringLiteral("2023-07-14T16:05:09.000000Z");
    ASSERT_TRUE(test::makeVideo(pathOf("dated.mp4"), fields));
    const double expected = QDateTime(QDate(2023, 7, 14), QTime(16, 5, 9), QTimeZone::utc()).toSecsSinceEpoch();

    const MediaItem item = inspect(pathOf("dated.mp4"), FileValues{2000.0, 1000.0, 1});
    EXPECT_EQ(item.captureDate(), expected);
    EXPECT_EQ(item.dateOrigin(), "Video metadata");

    fields = iphoneClip();
    fields.creationTime = QStringLiteral("2020-01-01T00:00:00Z");
    fields.creationDate = QStringLiteral("2023-07-14T18:05:09+0200"); // QuickTime's own date wins
    ASSERT_TRUE(test::makeVideo(pathOf("iphone.mov"), fields));
    EXPECT_EQ(inspect(pathOf("iphone.mov")).captureDate(), expected);

    ASSERT_TRUE(test::makeVideo(pathOf("undated.mov"), VideoFields{}));
    const MediaItem undated = inspect(pathOf("undated.mov"), FileValues{2000.0, 1000.0, 1});
    EXPECT_EQ(undated.captureDate(), 1000.0);
    EXPECT_EQ(undated.dateOrigin(), "File creation");
}

TEST_F(InspectVideoTest, AudioOnlyClipIsAVideoWithoutSize)
{
    VideoFields fields;
    fields.audioOnly = true;
    ASSERT_TRUE(test::makeVideo(pathOf("voice.mov"), fields));
    const MediaItem item = inspect(pathOf("voice.mov"));
    EXPECT_EQ(item.kind(), MediaKind::video);
    EXPECT_EQ(item.width(), 0);
    EXPECT_EQ(item.height(), 0);
    ASSERT_TRUE(item.duration());
    EXPECT_NEAR(*item.duration(), 1.0, 0.05);
}

TEST_F(InspectVideoTest, ContentIdentifierOnlyForMovFiles)
{
    ASSERT_TRUE(test::makeVideo(pathOf("clip.mp4"), iphoneClip()));
    ASSERT_TRUE(QFile::copy(pathOf("clip.mp4"), pathOf("clip.MOV")));

    EXPECT_FALSE(inspect(pathOf("clip.mp4")).liveIdentifier());
    EXPECT_FALSE(MediaMetadata::livePhotoIdentifier(pathOf("clip.mp4"), MediaKind::video));
    EXPECT_EQ(inspect(pathOf("clip.MOV")).liveIdentifier(), QString("A1B2C3D4-0000-LIVE"));
    EXPECT_EQ(MediaMetadata::livePhotoIdentifier(pathOf("clip.MOV"), MediaKind::video),
              QString("A1B2C3D4-0000-LIVE"));
}

TEST_F(InspectVideoTest, QuickTimeKeysKeepThePlatformIdentifiersAndGiveALocation)
{
    ASSERT_TRUE(test::makeVideo(pathOf("IMG_0004.MOV"), iphoneClip()));
    const MediaItem item = inspect(pathOf("IMG_0004.MOV"));
    const QJsonObject object = metadata(item);
    EXPECT_EQ(object.value("mdta/com.apple.quicktime.make").toString(), "Apple");
    EXPECT_EQ(object.value("mdta/com.apple.quicktime.model").toString(), "iPhone 15 Pro");
    EXPECT_EQ(object.value("mdta/com.apple.quicktime.location.ISO6709").toString(), "+37.3349-122.0090+000.000/");
    EXPECT_FALSE(object.contains("mdta/com.apple.quicktime.content.identifier")); // not common metadata
    EXPECT_FALSE(object.contains("major_brand"));

    const std::optional<GeoLocation> location = MediaMetadata::location(item.metadataJSON(), MediaKind::video);
    ASSERT_TRUE(location);
    EXPECT_DOUBLE_EQ(location->latitude, 37.3349);
    EXPECT_DOUBLE_EQ(location->longitude, -122.009);
}

TEST_F(InspectVideoTest, UserDataLocationWithoutQuickTimeCameraGivesNone)
{
    VideoFields fields;
    fields.userData = {{"location", "+41.0082+028.9784/"}, {"make", "Pixel"}};
    ASSERT_TRUE(test::makeVideo(pathOf("android.mp4"), fields));
    const MediaItem item = inspect(pathOf("android.mp4"));
    const QJsonObject object = metadata(item);
    EXPECT_EQ(object.value("udta/%A9xyz").toString(), "+41.0082+028.9784/");
    EXPECT_FALSE(MediaMetadata::location(item.metadataJSON(), MediaKind::video));
}

TEST_F(InspectVideoTest, ClipWithoutMetadataStoresAnEmptyObject)
{
    ASSERT_TRUE(test::makeVideo(pathOf("bare.mov"), VideoFields{}));
    EXPECT_EQ(inspect(pathOf("bare.mov")).metadataJSON(), QString("{}"));
}

TEST_F(InspectVideoTest, UnreadableClipKeepsOnlyFileValues)
{
    const QString path = writeFile("broken.mov", QByteArray(4096, 'x'));
    const MediaItem item = inspect(path, FileValues{2000.0, std::nullopt, 4096});
    EXPECT_FALSE(item.metadataJSON());
    EXPECT_FALSE(item.duration());
    EXPECT_FALSE(item.liveIdentifier());
    EXPECT_EQ(item.width(), 0);
    EXPECT_EQ(item.captureDate(), 2000.0);
    EXPECT_EQ(item.dateOrigin(), "File modification");
}

Task<void> inspectOnThePool(QString path, MediaItem* result, std::optional<QString>* identifier)
{
    *result = co_await MediaMetadata::inspectAsync(path, sourceID, FileValues{5.0, std::nullopt, 7}, MediaKind::video);
    *identifier = co_await MediaMetadata::livePhotoIdentifierAsync(path, MediaKind::video);
}

TEST_F(InspectVideoTest, AsyncInspectionGivesTheSameItem)
{
    ASSERT_TRUE(test::makeVideo(pathOf("async.mov"), iphoneClip()));
    QObject context;
    MediaItem result;
    std::optional<QString> identifier;
    startTask(&context, inspectOnThePool(pathOf("async.mov"), &result, &identifier));
    ASSERT_TRUE(drain());
    EXPECT_EQ(result, inspect(pathOf("async.mov"), FileValues{5.0, std::nullopt, 7}));
    EXPECT_EQ(identifier, QString("A1B2C3D4-0000-LIVE"));
}

} // namespace
} // namespace pivra
