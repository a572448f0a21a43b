#include "media/video/VideoPreviewStore.h"

#include "media/thumbnails/MediaKey.h"
#include "media/video/VideoError.h"
#include "platform/AppSettings.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/time.h>

#include <atomic>
#include <latch>
#include <new>
#include <thread>
#include <vector>

namespace pivra {
namespace {

const QString enabledKey = QStringLiteral("pivra.videoPreviews.enabled");
const QString keyA = digestText(QStringLiteral("a"));
const QString keyB = digestText(QStringLiteral("b"));

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << path.toStdString();
}

// A store over a folder of the test, whose encoder does what the test asks
// and counts its calls.
class VideoPreviewStoreTest : public test::TempFolderTest {
protected:
    QString clipsFolder() const { return pathOf(QStringLiteral("clips")); }
    QString clipOf(const QString& key) const
    {
        return clipsFolder() + QStringLiteral("/%1/%2.mp4").arg(key.left(2), key);
    }
    int filesInStore() const { return diskStats(clipsFolder()).count; } // temporary files included

    MediaItem video(std::optional<QString> key, const QString& path = QStringLiteral("/nowhere.mov")) const
    {
        MediaItem item;
        item.setKind(MediaKind::video);
        item.setPath(path);
        item.setThumbnailKey(key);
        return item;
    }

    std::optional<test::SettingsSandbox> settings{std::in_place, pathOf(QStringLiteral("config"))};
    std::atomic<int> encodes{0};
    std::function<void(const QString& destination)> encode = [](const QString& destination) {
        writeBytes(destination, "a complete clip");
    };
    VideoPreviewStore store{clipsFolder(), [this](const QString&, const QString& destination) {
                                ++encodes;
                                encode(destination);
                            }};
};

TEST_F(VideoPreviewStoreTest, InvalidOrAbsentKeysTouchNothing)
{
    const std::optional<QString> keys[] = {keyA.left(63), QString(keyA.left(63) + QLatin1Char('A')), std::nullopt};
    for (const std::optional<QString>& key : keys) {
        SCOPED_TRACE(key.value_or(QStringLiteral("absent")).toStdString());
        EXPECT_FALSE(store.needsPreview(video(key)));
        EXPECT_FALSE(store.makePreview(video(key)));
        EXPECT_FALSE(QFileInfo::exists(clipsFolder()));
        if (key) {
            // Where the key would put its clip, a file the store must not see.
            const QString planted = writeFile(QStringLiteral("clips/%1/%2.mp4").arg(key->left(2), *key), "clip");
            EXPECT_EQ(store.preview(video(key)), std::nullopt);
            EXPECT_FALSE(store.makePreview(video(key)));
            EXPECT_EQ(store.footprint({*key}), StorageMeasure{});
            store.deleteClips({*key});
            EXPECT_TRUE(QFileInfo::exists(planted));
            QDir(clipsFolder()).removeRecursively();
        }
    }
    EXPECT_EQ(encodes, 0);
}

TEST_F(VideoPreviewStoreTest, AClipIsMovedIntoPlaceWholeAndNotMadeTwice)
{
    EXPECT_TRUE(store.needsPreview(video(keyA)));
    ASSERT_TRUE(store.makePreview(video(keyA)));
    EXPECT_EQ(store.preview(video(keyA)), clipOf(keyA));
    EXPECT_EQ(filesInStore(), 1) << "no temporary file stays";
    EXPECT_FALSE(store.needsPreview(video(keyA)));
    MediaItem photo = video(keyA);
    photo.setKind(MediaKind::image);
    EXPECT_EQ(store.preview(photo), std::nullopt);

    EXPECT_TRUE(store.makePreview(video(keyA))) << "the video, which does not exist, is not read";
    EXPECT_EQ(encodes, 1);
}

TEST_F(VideoPreviewStoreTest, AFailedClipLeavesNothingAndIsNotTriedAgainUntilDeleteAll)
{
    const std::function<void(const QString&)> failures[] = {
        [](const QString&) { throw VideoError(VideoError::Kind::corruptFile); },
        [](const QString& destination) {
            writeBytes(destination, "half a cl");
            throw VideoError(VideoError::Kind::writeFailed);
        },
        [](const QString&) { throw std::bad_alloc(); },
        [](const QString&) {}, // no file written
    };
    for (int row = 0; row < int(std::size(failures)); ++row) {
        SCOPED_TRACE(row);
        encode = failures[row];
        EXPECT_FALSE(store.makePreview(video(keyA)));
        EXPECT_EQ(filesInStore(), 0);
        EXPECT_FALSE(store.needsPreview(video(keyA)));
        store.deleteClips({keyA});
        EXPECT_FALSE(store.needsPreview(video(keyA))) << "deleting a clip keeps the mark";
        EXPECT_TRUE(store.needsPreview(video(keyB)));

        store.deleteAll();
        EXPECT_FALSE(QFileInfo::exists(clipsFolder()));
        EXPECT_TRUE(store.needsPreview(video(keyA)));
    }
}

TEST_F(VideoPreviewStoreTest, TemporariesLeftByEarlierRunsGoAndNothingElse)
{
    const QString folder = clipsFolder() + u'/' + keyA.left(2);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString left = folder + QStringLiteral("/0B5D2C1E-3F4A-4B6C-8D7E-9F0A1B2C3D4E.mp4");
    const QString linked = folder + QStringLiteral("/1B5D2C1E-3F4A-4B6C-8D7E-9F0A1B2C3D4E.mp4");
    const QString outside = pathOf(QStringLiteral("outside.mp4"));
    const QStringList kept{clipOf(keyA), folder + QStringLiteral("/notes.mp4"), outside};
    for (const QString& path : kept + QStringList{left}) {
        writeBytes(path, "bytes");
    }
    ASSERT_TRUE(QFile::link(outside, linked));
    const QDateTime started = QDateTime::currentDateTime().addSecs(1);

    const QString fresh = folder + QStringLiteral("/2B5D2C1E-3F4A-4B6C-8D7E-9F0A1B2C3D4E.mp4");
    const timeval later{started.toSecsSinceEpoch() + 5, 0};
    const timeval times[2] = {later, later};
    writeBytes(fresh, "an encoding of this run");
    ASSERT_EQ(::utimes(QFile::encodeName(fresh).constData(), times), 0);

    EXPECT_EQ(store.removeTemporariesOlderThan(started), 1);
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_TRUE(QFileInfo(linked).isSymLink()) << "a link is no temporary of ours";
    for (const QString& path : kept + QStringList{fresh}) {
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    }
}

TEST_F(VideoPreviewStoreTest, SeveralEncodingsOfOneKeyAtOnceAllSucceed)
{
    constexpr int callers = 4;
    std::latch allEncoding(callers);
    encode = [&](const QString& destination) {
        writeBytes(destination, "a complete clip");
        allEncoding.arrive_and_wait();
    };
    std::atomic<int> made{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i) {
        threads.emplace_back([&] { made += store.makePreview(video(keyA)); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(made, callers);
    EXPECT_EQ(filesInStore(), 1);
    store.deleteClips({keyA});
    EXPECT_TRUE(store.needsPreview(video(keyA))) << "not marked as failed";
}

TEST_F(VideoPreviewStoreTest, DeviceVideosGetNoClipAndStayUnmarked)
{
    const MediaItem item = video(keyA, QStringLiteral("pivra-camera://%1/17/IMG_0001.MOV").arg(keyB));
    EXPECT_FALSE(store.makePreview(item));
    EXPECT_EQ(encodes, 0);
    EXPECT_FALSE(QFileInfo::exists(clipsFolder()));
    EXPECT_TRUE(store.needsPreview(item));
}

TEST_F(VideoPreviewStoreTest, FootprintCountsAllocatedSizesOfExistingClips)
{
    ASSERT_TRUE(store.makePreview(video(keyA)));
    encode = [](const QString& destination) { writeBytes(destination, QByteArray(100'000, 'x')); };
    ASSERT_TRUE(store.makePreview(video(keyB)));
    const std::int64_t sizeA = *allocatedSize(clipOf(keyA));
    const std::int64_t sizeB = *allocatedSize(clipOf(keyB));
    EXPECT_GE(sizeB, 100'000);

    const QString missing = digestText(QStringLiteral("missing"));
    EXPECT_EQ(store.footprint({keyA, keyB, keyB, missing, keyA.toUpper()}), (StorageMeasure{3, sizeA + 2 * sizeB}));
    store.deleteClips({keyB, missing});
    EXPECT_EQ(store.footprint({keyA, keyB}), (StorageMeasure{1, sizeA}));
}

// A value set in this run is read back as it was set; one from an earlier run
// (written to another file, then put in place) as the INI file's text.
TEST_F(VideoPreviewStoreTest, TheSettingTurnsClipsOffOnlyWhenFalse)
{
    ASSERT_TRUE(store.makePreview(video(keyA)));
    const struct {
        std::optional<QVariant> stored;
        bool earlierRun;
        bool enabled;
    } rows[] = {
        {std::nullopt, false, true},       {QVariant(false), false, false},
        {QVariant(false), true, false},    {QVariant(true), true, true},
        {QVariant(QStringLiteral("off")), true, true},
    };
    for (int row = 0; row < int(std::size(rows)); ++row) {
        SCOPED_TRACE(row);
        const auto& [stored, earlierRun, enabled] = rows[row];
        settings.emplace(pathOf(QStringLiteral("config-%1").arg(row)));
        if (stored && earlierRun) {
            const QString earlier = pathOf(QStringLiteral("earlier-%1.conf").arg(row));
            QSettings(earlier, QSettings::IniFormat).setValue(enabledKey, *stored);
            const QString file = AppSettings().fileName();
            QDir().mkpath(QFileInfo(file).path());
            ASSERT_TRUE(QFile::copy(earlier, file));
            ASSERT_EQ(AppSettings().value(enabledKey).typeId(), QMetaType::QString) << "INI files keep no types";
        } else if (stored) {
            AppSettings().setValue(enabledKey, *stored);
        }
        EXPECT_EQ(store.isEnabled(), enabled);
        EXPECT_EQ(store.preview(video(keyA)).has_value(), enabled) << "the clip exists";
    }
}

TEST_F(VideoPreviewStoreTest, TheRealEncoderWritesTheClipInItsFannedOutFolder)
{
    VideoPreviewStore real(clipsFolder());
    const QString path = pathOf(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(test::makeVideo(path, {.frames = 10}));
    ASSERT_TRUE(real.makePreview(video(keyA, path)));
    EXPECT_GT(QFileInfo(clipOf(keyA)).size(), 0);

    const MediaItem notAVideo = video(keyB, writeFile(QStringLiteral("text.mp4"), "not a video"));
    EXPECT_FALSE(real.makePreview(notAVideo));
    EXPECT_FALSE(real.needsPreview(notAVideo));
    EXPECT_EQ(filesInStore(), 1);
}

} // namespace
} // namespace pivra
