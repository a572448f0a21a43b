#include "media/video/PreviewClip.h"
#include "media/video/VideoError.h"
#include "media/video/VideoInput.h"
#include "support/system/TempFolder.h"
#include "support/files/UndecodableVideos.h"
#include "support/files/VideoMaker.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace pivra {
namespace {

using test::VideoFields;

// What libavformat reads back from a clip.
struct Probe {
    unsigned streams = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    unsigned tag = 0;
    QSize size;
    double seconds = 0;
    QByteArray displayMatrix;
    std::size_t frames = 0; // shown: in the track's time, not cut off by its edit list
    std::vector<double> keyFrames; // times of the key frames, in file order
    bool indexFirst = false;
};

QByteArray displayMatrix(const AVStream* stream)
{
    std::size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return QByteArray(reinterpret_cast<const char*>(matrix), matrix ? static_cast<qsizetype>(size) : 0);
}

// Whether the index box comes before the pictures' box.
bool indexFirst(const QString& path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const qsizetype index = bytes.indexOf("moov");
    return index >= 0 && index < bytes.indexOf("mdat");
}

Probe probe(const QString& path)
{
    Probe result;
    result.indexFirst = indexFirst(path);
    const VideoInput input = openVideoInput(path);
    if (!input || avformat_find_stream_info(input.get(), nullptr) < 0) {
        return result;
    }
    result.streams = input->nb_streams;
    const AVStream* stream = firstVideoStream(input.get());
    if (stream == nullptr) {
        return result;
    }
    result.codec = stream->codecpar->codec_id;
    result.tag = stream->codecpar->codec_tag;
    result.size = QSize(stream->codecpar->width, stream->codecpar->height);
    result.seconds = stream->duration * av_q2d(stream->time_base);
    result.displayMatrix = displayMatrix(stream);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input.get(), packet) >= 0) {
        result.frames += packet->stream_index == stream->index && !(packet->flags & AV_PKT_FLAG_DISCARD);
        if (packet->flags & AV_PKT_FLAG_KEY) {
            result.keyFrames.push_back(packet->pts * av_q2d(stream->time_base));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return result;
}

// Key frames, the clip's end counted as one, are at most a second apart.
void expectKeyFramesASecondApart(Probe made)
{
    ASSERT_FALSE(made.keyFrames.empty());
    EXPECT_EQ(made.keyFrames.front(), 0);
    made.keyFrames.push_back(made.seconds);
    for (std::size_t at = 1; at < made.keyFrames.size(); ++at) {
        EXPECT_LE(made.keyFrames[at] - made.keyFrames[at - 1], 1.0 + 1e-9)
            << "key frames at " << made.keyFrames[at - 1] << " and " << made.keyFrames[at];
    }
}

// Runs the ffmpeg program with `options` (split at spaces) and the output
// file; true when it made it.
bool runFfmpeg(const QString& options, const QString& output)
{
    QStringList arguments = QStringLiteral("-hide_banner -loglevel error -y ").append(options).split(QLatin1Char(' '));
    arguments << output;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

QByteArray displayMatrixOf(const QString& path)
{
    const VideoInput input = openVideoInput(path);
    return input ? displayMatrix(firstVideoStream(input.get())) : QByteArray();
}

// The kind of error encoding throws; none when it makes a clip.
std::optional<VideoError::Kind> failure(const QString& source, const QString& clip)
{
    try {
        encodePreviewClip(source, clip);
        return std::nullopt;
    } catch (const VideoError& error) {
        return error.kind();
    }
}

class PreviewClipTest : public test::TempFolderTest {};

TEST(PreviewClipRecipe, ScalesTheLongerSideTo640AndKeepsEvenSides)
{
    const std::pair<QSize, QSize> rows[]{
        {{1920, 1080}, {640, 360}}, {{3840, 2160}, {640, 360}}, {{1080, 1920}, {360, 640}},
        {{300, 200}, {300, 200}},   {{641, 3}, {640, 2}},       {{333, 333}, {332, 332}},
        {{1001, 1001}, {640, 640}}, {{1, 1}, {2, 2}},
    };
    for (const auto& [natural, clip] : rows) {
        EXPECT_EQ(previewClipSize(natural), clip) << natural.width() << "x" << natural.height();
    }
}

TEST(PreviewClipRecipe, ReadsUpToThreeSecondsAndThreeWhenTheLengthIsUnknown)
{
    const std::pair<std::optional<double>, double> rows[]{
        {std::nullopt, 3},
        {std::numeric_limits<double>::quiet_NaN(), 3},
        {std::numeric_limits<double>::infinity(), 3},
        {1.5, 1.5},
        {3, 3},
        {30, 3},
    };
    for (const auto& [duration, seconds] : rows) {
        EXPECT_EQ(previewClipSeconds(duration), seconds) << duration.value_or(-1);
    }
}

TEST_F(PreviewClipTest, ClipsAreSilentHevcOfTheFirstSecondsWithTheSourcesTurn)
{
    struct Row {
        const char* name;
        VideoFields fields;
        QSize clip;
        double seconds;
    };
    using test::VideoCodec;
    const Row rows[]{
        // Only the first 3 of 30 seconds, and no sound although the source has some.
        {"long.mp4",
         {.size = {1920, 1080}, .frames = 900, .framesPerSecond = 30, .codec = VideoCodec::h264, .withAudio = true},
         {640, 360},
         3.0},
        {"short.mov", {.frames = 45, .framesPerSecond = 30}, {320, 240}, 1.5},
        {"large.mp4", {.size = {3840, 2160}, .frames = 10, .codec = VideoCodec::hevc}, {640, 360}, 0.4},
        // Scaled as stored, turned by the player.
        {"portrait.mov",
         {.size = {1920, 1080}, .frames = 30, .codec = VideoCodec::h264, .rotation = 90},
         {640, 360},
         1.2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString source = pathOf(QString::fromUtf8(row.name));
        const QString clip = source + QStringLiteral(".clip.mp4");
        ASSERT_TRUE(test::makeVideo(source, row.fields));
        ASSERT_EQ(probe(source).streams, row.fields.withAudio ? 2U : 1U);
        encodePreviewClip(source, clip);

        Probe made = probe(clip);
        EXPECT_EQ(made.streams, 1U) << "no sound";
        EXPECT_EQ(made.codec, AV_CODEC_ID_HEVC);
        EXPECT_EQ(made.tag, MKTAG('h', 'v', 'c', '1'));
        EXPECT_EQ(made.size, row.clip);
        EXPECT_NEAR(made.seconds, row.seconds, 0.001);
        EXPECT_LE(made.seconds, 3.0);
        EXPECT_EQ(made.displayMatrix.isEmpty(), row.fields.rotation == 0);
        EXPECT_EQ(made.displayMatrix, displayMatrixOf(source));
        EXPECT_TRUE(made.indexFirst);
        expectKeyFramesASecondApart(made);
    }
}

// As a phone films when the light drops: a second at 30 frames a second,
// then 10 a second, so that a count of frames is no measure of time. ffmpeg
// gives the last frame no length, so the track ends at 2.4 s, where that
// frame starts, and leaves it out; the file, with its sound, lasts 2.5 s.
TEST_F(PreviewClipTest, ClipsOfVariableFrameRatesHaveKeyFramesEverySecondAndTheWholeLength)
{
    const QString source = pathOf(QStringLiteral("variable.mp4"));
    const QString clip = pathOf(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(runFfmpeg(QStringLiteral("-f lavfi -i testsrc=size=320x240:rate=30:duration=1 "
                                         "-f lavfi -i testsrc=size=320x240:rate=10:duration=1.5 "
                                         "-f lavfi -i anullsrc=r=48000:cl=mono "
                                         "-filter_complex [0:v][1:v]concat=n=2:v=1[v] -map [v] -map 2:a "
                                         "-t 2.5 -fps_mode vfr -c:v libx264 -preset ultrafast -c:a aac"),
                          source));
    const Probe original = probe(source);
    ASSERT_EQ(original.frames, 44U);
    ASSERT_NEAR(original.seconds, 2.4, 0.001);

    encodePreviewClip(source, clip);
    const Probe made = probe(clip);
    EXPECT_EQ(made.frames, original.frames);
    EXPECT_NEAR(made.seconds, 2.5, 0.001);
    expectKeyFramesASecondApart(made);
}

TEST_F(PreviewClipTest, VideosThatDoNotDecodeOrBreakOffAreCorrupt)
{
    const QString clip = pathOf(QStringLiteral("clip.mp4"));
    const QStringList sources = test::makeUndecodableVideos(root());
    ASSERT_FALSE(sources.isEmpty());
    for (const QString& source : sources) {
        EXPECT_EQ(failure(source, clip), VideoError::Kind::corruptFile) << source.toStdString();
        EXPECT_FALSE(QFile::exists(clip)) << "no file without a frame: " << source.toStdString();
    }

    // A clip has its index first: without the last tenth of its pictures it
    // still opens, and it breaks off within its first seconds.
    const QString source = pathOf(QStringLiteral("source.mp4"));
    VideoFields fields;
    fields.frames = 50;
    ASSERT_TRUE(test::makeVideo(source, fields));
    encodePreviewClip(source, clip);
    QFile whole(clip);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const qsizetype pictures = bytes.indexOf("mdat");
    ASSERT_GT(pictures, bytes.indexOf("moov"));
    const QString cut = writeFile(QStringLiteral("cut.mp4"), bytes.left(pictures + (bytes.size() - pictures) * 9 / 10));
    EXPECT_EQ(failure(cut, pathOf(QStringLiteral("cut clip.mp4"))), VideoError::Kind::corruptFile);
}

TEST_F(PreviewClipTest, ClipsTheEncoderOrTheFolderCannotTakeAreWriteFailures)
{
    VideoFields sliver;
    sliver.size = QSize(641, 3);
    ASSERT_TRUE(test::makeVideo(pathOf(QStringLiteral("sliver.mp4")), sliver));
    ASSERT_TRUE(test::makeVideo(pathOf(QStringLiteral("plain.mp4"))));
    const std::pair<const char*, const char*> rows[]{
        {"sliver.mp4", "clip.mp4"},        // 640 × 2: x265 takes no side under 16 pixels
        {"plain.mp4", "missing/clip.mp4"}, // a folder that is not there
    };
    for (const auto& [source, clip] : rows) {
        EXPECT_EQ(failure(pathOf(QString::fromUtf8(source)), pathOf(QString::fromUtf8(clip))),
                  VideoError::Kind::writeFailed)
            << source;
    }
}

} // namespace
} // namespace pivra
