#include "media/video/VideoDecoder.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QImageReader>
#include <exiv2/exiv2.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace pivra {
namespace {

using FixtureMakers = test::TempFolderTest;

TEST_F(FixtureMakers, JpegWithoutExifIsStillAJpeg)
{
    const QString path = pathOf(QStringLiteral("plain.jpg"));
    ASSERT_TRUE(test::makeJpeg(path, QSize(64, 48)));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    EXPECT_EQ(reader.size(), QSize(64, 48));
}

TEST_F(FixtureMakers, JpegCarriesTheRequestedExif)
{
    const QString path = pathOf(QStringLiteral("exif.jpg"));
    test::ExifFields fields;
    fields.dateTimeOriginal = QStringLiteral("2020:03:14 15:09:26");
    fields.model = QStringLiteral("Pixel 7");
    fields.lensModel = QStringLiteral("Wide");
    fields.latitude = -33.8568;
    fields.longitude = 151.2153;
    fields.orientation = 6;
    ASSERT_TRUE(test::makeJpeg(path, QSize(40, 30), fields));

    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"))->toString(), "2020:03:14 15:09:26");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Model"))->toString(), "Pixel 7");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.LensModel"))->toString(), "Wide");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"))->toLong(), 6);
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitudeRef"))->toString(), "S");
    const auto latitude = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"));
    const double degrees = latitude->toFloat(0) + latitude->toFloat(1) / 60 + latitude->toFloat(2) / 3600;
    EXPECT_NEAR(degrees, 33.8568, 1e-5);
}

TEST_F(FixtureMakers, VideoCarriesItsCodecRateSoundAndAnUprightMovingPicture)
{
    struct Row {
        const char* name;
        test::VideoCodec codec;
        int framesPerSecond;
        AVCodecID video;
        unsigned tag; // 0: whatever the container picks
        AVCodecID audio;
    };
    const Row rows[] = {
        {"h264.mp4", test::VideoCodec::h264, 30, AV_CODEC_ID_H264, MKTAG('a', 'v', 'c', '1'), AV_CODEC_ID_AAC},
        {"hevc.mov", test::VideoCodec::hevc, 25, AV_CODEC_ID_HEVC, MKTAG('h', 'v', 'c', '1'), AV_CODEC_ID_AAC},
        {"hevc.mts", test::VideoCodec::hevc, 50, AV_CODEC_ID_HEVC, 0, AV_CODEC_ID_AAC},
        {"mpeg4.avi", test::VideoCodec::mpeg4, 24, AV_CODEC_ID_MPEG4, 0, AV_CODEC_ID_AAC},
        {"mpeg2.mpg", test::VideoCodec::h264, 25, AV_CODEC_ID_MPEG2VIDEO, 0, AV_CODEC_ID_PCM_DVD},
    };
    for (const Row& row : rows) {
        const QString path = pathOf(QString::fromLatin1(row.name));
        test::VideoFields fields;
        fields.size = QSize(352, 288);
        fields.frames = 12;
        fields.framesPerSecond = row.framesPerSecond;
        fields.codec = row.codec;
        fields.withAudio = true;
        ASSERT_TRUE(test::makeVideo(path, fields)) << row.name;

        const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(path);
        ASSERT_TRUE(decoder) << row.name;
        EXPECT_EQ(decoder->codec()->codec_id, row.video) << row.name;
        if (row.tag != 0) {
            EXPECT_EQ(decoder->stream()->codecpar->codec_tag, row.tag) << row.name;
        }
        EXPECT_EQ(av_q2d(decoder->stream()->avg_frame_rate), row.framesPerSecond) << row.name;
        std::vector<QByteArray> blockRows;
        double seconds = 0;
        while (const AVFrame* frame = decoder->nextFrame(seconds)) {
            // Luma and red-difference chroma: red above, grey below.
            EXPECT_NEAR(frame->data[0][0], 81, 4) << row.name;
            EXPECT_NEAR(frame->data[2][0], 240, 4) << row.name;
            EXPECT_NEAR(frame->data[0][frame->linesize[0] * (frame->height - 1)], 128, 4) << row.name;
            const int blockRow = test::movingBlock(QSize(frame->width, frame->height), 0).center().y();
            blockRows.emplace_back(reinterpret_cast<const char*>(frame->data[0] + frame->linesize[0] * blockRow),
                                   frame->width);
        }
        ASSERT_EQ(blockRows.size(), 12U) << row.name;
        EXPECT_NE(blockRows.front(), blockRows.back()) << row.name << ": the picture moves";

        VideoInput input = openVideoInput(path);
        ASSERT_TRUE(input && avformat_find_stream_info(input.get(), nullptr) >= 0) << row.name;
        const int sound = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        ASSERT_GE(sound, 0) << row.name;
        EXPECT_EQ(input->streams[sound]->codecpar->codec_id, row.audio) << row.name;
    }
}

} // namespace
} // namespace pivra
