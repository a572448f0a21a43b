#include "media/camera/CameraVideoInput.h"

#include "media/camera/CameraVideoStream.h"
#include "media/thumbnails/MediaKey.h"
#include "media/video/VideoDecoder.h"
#include "media/video/VideoPreviewStore.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <limits>
#include <vector>

namespace pivra {
namespace {

// A device file served from a local one: at most `replyBytes` a reply, the
// disconnected error for reads from `failAt` on, and no answer to reads of
// the byte at `silentAt`, as from a device that stopped answering.
struct FileDevice {
    QByteArray bytes;
    std::int64_t replyBytes = std::numeric_limits<std::int64_t>::max();
    std::int64_t failAt = std::numeric_limits<std::int64_t>::max();
    std::int64_t silentAt = -1;
    std::atomic<std::int64_t> largestRead{0};
    std::atomic<int> unanswered{0};

    CameraVideoStream::Reader reader()
    {
        return [this](const QString&, std::int64_t offset, std::int64_t length, CameraReadCompletion completion) {
            largestRead = std::max<std::int64_t>(largestRead, length);
            if (offset <= silentAt && silentAt < offset + length) {
                ++unanswered;
                return;
            }
            if (offset >= failAt) {
                completion(std::nullopt, PivraError{QStringLiteral("Pivra.CameraStream"), 1,
                                                    QStringLiteral("The iPhone is disconnected.")});
                return;
            }
            completion(bytes.mid(offset, std::min(length, replyBytes)), std::nullopt);
        };
    }
};

class CameraVideoInputTest : public test::TempFolderTest {
protected:
    static constexpr std::size_t frames = 120;

    // A video of over 256 KiB, so reads span several pieces, and
    // longer than a clip.
    QByteArray makeVideo(const QString& name)
    {
        test::VideoFields fields;
        fields.size = QSize(480, 360);
        fields.frames = frames;
        fields.grain = true;
        EXPECT_TRUE(test::makeVideo(pathOf(name), fields));
        QFile file(pathOf(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_GT(bytes.size(), CameraVideoStream::pieceBytes) << name.toStdString();
        return bytes;
    }

    static MediaItem deviceItem(const QString& name, std::int64_t size)
    {
        MediaItem item;
        item.setKind(MediaKind::video);
        item.setPath(QStringLiteral("pivra-camera://phone/1/") + name);
        item.setName(name);
        item.setFileSize(size);
        item.setThumbnailKey(digestText(name));
        return item;
    }

    static std::vector<double> frameTimes(VideoDecoder& decoder)
    {
        std::vector<double> times;
        double seconds = 0;
        while (decoder.nextFrame(seconds) != nullptr) {
            times.push_back(seconds);
        }
        EXPECT_FALSE(decoder.failed());
        return times;
    }
};

TEST_F(CameraVideoInputTest, DecodesTheSameFramesAsTheFileWhateverTheReplySize)
{
    // The maker picks the container by the extension of `made`; the device
    // names it `name`, which may have no extension or one that names another
    // format, as the demuxer must then go by the content.
    const struct {
        const char* name;
        const char* made;
        std::int64_t replyBytes;
    } rows[] = {
        {"IMG_0001.MOV", "IMG_0001.MOV", std::numeric_limits<std::int64_t>::max()},
        {"IMG_0002.MP4", "IMG_0002.MP4", 1000},
        {"CLIP.AVI", "CLIP.AVI", 70000},
        {"noextension", "noextension.mov", 100000},
        {"IMG_0003.M4V", "IMG_0003.mp4", std::numeric_limits<std::int64_t>::max()},
    };
    for (const auto& row : rows) {
        const QString name = QString::fromUtf8(row.name);
        const QString made = QString::fromUtf8(row.made);
        SCOPED_TRACE(row.name);
        FileDevice device{makeVideo(made), row.replyBytes};
        CameraVideoStream stream(deviceItem(name, device.bytes.size()), device.reader());

        const std::unique_ptr<VideoDecoder> streamed = VideoDecoder::open(openCameraVideoInput(stream, name));
        const std::unique_ptr<VideoDecoder> direct = VideoDecoder::open(pathOf(made));
        ASSERT_TRUE(streamed);
        ASSERT_TRUE(direct);
        EXPECT_EQ(streamed->naturalSize(), direct->naturalSize());
        EXPECT_EQ(streamed->duration(), direct->duration());
        const std::vector<double> times = frameTimes(*streamed);
        EXPECT_EQ(times.size(), frames);
        EXPECT_EQ(times, frameTimes(*direct));
        EXPECT_LE(device.largestRead, CameraVideoStream::pieceBytes);
    }
}

TEST_F(CameraVideoInputTest, ADeviceVideoGetsItsClipOrFailsCleanlyWhenTheDeviceGoesAway)
{
    const QByteArray bytes = makeVideo(QStringLiteral("IMG_0001.MOV"));
    const struct {
        const char* name;
        std::int64_t failAt;
        bool made;
    } rows[] = {
        {"IMG_0001.MOV", std::numeric_limits<std::int64_t>::max(), true},
        {"IMG_0002.MOV", 0, false},
        {"IMG_0003.MOV", bytes.size() / 2, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FileDevice device{bytes, std::numeric_limits<std::int64_t>::max(), row.failAt};
        const QString folder = pathOf(QString::fromUtf8(row.name) + QStringLiteral(".clips"));
        VideoPreviewStore store(
            folder, [](const QString&, const QString&) { FAIL() << "a device video is no file"; }, device.reader());
        const MediaItem item = deviceItem(QString::fromUtf8(row.name), bytes.size());

        EXPECT_EQ(store.makePreview(item), row.made);
        EXPECT_FALSE(store.needsPreview(item));
        const QDir clips(folder + QLatin1Char('/') + item.thumbnailKey()->left(2));
        // Nothing but the clip, when there is one: a failure takes its
        // temporary file with it.
        ASSERT_EQ(clips.entryList(QDir::Files), row.made ? QStringList{*item.thumbnailKey() + QStringLiteral(".mp4")}
                                                          : QStringList{});
        if (row.made) {
            const std::unique_ptr<VideoDecoder> decoder =
                VideoDecoder::open(clips.filePath(*item.thumbnailKey() + QStringLiteral(".mp4")));
            ASSERT_TRUE(decoder);
            EXPECT_EQ(decoder->naturalSize(), QSize(480, 360));
            EXPECT_EQ(frameTimes(*decoder).size(), 75u); // 3 seconds at 25 per second
        }
    }
}

// A device that stops answering within the pictures holds the decoding
// thread only as long as the stream's answer limit: the decoding breaks off
// there, and no read after it asks the device again.
TEST_F(CameraVideoInputTest, ADeviceThatStopsAnsweringBreaksTheDecodingOffAfterTheLimit)
{
    FileDevice device{makeVideo(QStringLiteral("IMG_0001.MOV"))};
    // The last byte of the pictures, before the index: read only once the
    // decoding reaches it.
    device.silentAt = device.bytes.indexOf("moov") - 5;
    ASSERT_GT(device.silentAt, CameraVideoStream::pieceBytes);
    CameraVideoStream stream(deviceItem(QStringLiteral("IMG_0001.MOV"), device.bytes.size()), device.reader(),
                             std::chrono::milliseconds(50));

    const std::unique_ptr<VideoDecoder> decoder =
        VideoDecoder::open(openCameraVideoInput(stream, QStringLiteral("IMG_0001.MOV")));
    ASSERT_TRUE(decoder);
    double seconds = 0;
    std::size_t decoded = 0;
    while (decoder->nextFrame(seconds) != nullptr) {
        ++decoded;
    }
    EXPECT_TRUE(decoder->failed());
    EXPECT_LT(decoded, frames);
    EXPECT_EQ(device.unanswered, 1);
}

} // namespace
} // namespace pivra
