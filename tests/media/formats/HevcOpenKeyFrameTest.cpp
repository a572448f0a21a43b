#include "media/formats/coding/HevcOpenKeyFrame.h"

#include "media/formats/coding/HevcConfiguration.h"
#include "media/formats/coding/HevcParameterSets.h"
#include "media/video/VideoDecoder.h"
#include "support/files/VideoMaker.h"
#include "support/system/TempFolder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace pivra {
namespace {

using HevcOpenKeyFrameTest = test::TempFolderTest;

// The second key frame of a clip with one every second, and the parameter
// sets of its record; an empty packet when there is none.
struct KeyPacket {
    QByteArray packet;
    int lengthSize = 4;
    HevcParameterSets sets;
};

KeyPacket secondKeyFrame(const QString& path)
{
    KeyPacket key;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.toUtf8().constData(), nullptr, nullptr) < 0) {
        return key;
    }
    const AVCodecParameters& format = *input->streams[0]->codecpar;
    const QByteArrayView record(format.extradata, format.extradata_size);
    key.lengthSize = hevcUnitLengthSize(record).value_or(4);
    forEachHevcRecordUnit(record, [&key](QByteArrayView unit) {
        key.sets.add(unit);
        return true;
    });
    AVPacket* packet = av_packet_alloc();
    for (int keys = 0; keys < 2 && av_read_frame(input, packet) >= 0; av_packet_unref(packet)) {
        if ((packet->flags & AV_PKT_FLAG_KEY) != 0 && ++keys == 2) {
            key.packet = QByteArray(reinterpret_cast<const char*>(packet->data), packet->size);
        }
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
    return key;
}

// The planes of a decoded 8-bit 4:2:0 picture, row by row.
QByteArray samplesOf(const AVFrame& frame)
{
    QByteArray samples;
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        for (int row = 0; row < frame.height >> shift; ++row) {
            samples.append(reinterpret_cast<const char*>(frame.data[plane] + std::ptrdiff_t(row) * frame.linesize[plane]),
                           frame.width >> shift);
        }
    }
    return samples;
}

// An open group's key frame, rewritten as a refresh, decodes alone to the
// very picture it is when decoded in sequence, however libx265 lays out its
// slice headers; a closed group's is left as it is.
TEST_F(HevcOpenKeyFrameTest, TheRefreshDecodesToThePictureDecodedInSequence)
{
    const struct {
        const char* parameters;
        bool wavefronts;
        bool refreshed;
    } codings[] = {
        {"", true, true},
        {"", false, true},
        {"slices=3", true, true},           // independent slices, each with an address
        {"slices=3:ctu=16", true, true},    // longer addresses, entry points
        {"sao=0:deblock=false", false, true},
        {"temporal-mvp=0:signhide=0", false, true},
        {"scaling-list=default", false, true},
        {"lossless=1:tskip=1", false, true}, // transquant bypass, transform skip
        {"repeat-headers=1:aud=1:hrd=1", false, true}, // parameter sets and SEI in the packet
        {"constrained-intra=1:opt-qp-pps=1:opt-ref-list-length-pps=1", false, true},
        {"open-gop=0", false, false},
    };
    for (const auto& coding : codings) {
        SCOPED_TRACE(testing::Message() << "x265 " << coding.parameters << (coding.wavefronts ? " in wavefronts" : ""));
        const QString path = pathOf(QStringLiteral("clip.mp4"));
        test::VideoFields fields;
        fields.codec = test::VideoCodec::hevc;
        fields.frames = 20;
        fields.framesPerSecond = 10;
        fields.wavefronts = coding.wavefronts;
        fields.x265Parameters = coding.parameters;
        ASSERT_TRUE(test::makeVideo(path, fields));

        KeyPacket key = secondKeyFrame(path);
        ASSERT_FALSE(key.packet.isEmpty());
        ASSERT_EQ(hevcOpenKeyFrameAsIdr(key.packet, key.lengthSize, key.sets).has_value(), coding.refreshed);

        const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(path, 2, VideoDecoder::Threading::slices);
        ASSERT_TRUE(decoder);
        double seconds = -1;
        QByteArray inSequence;
        while (const AVFrame* frame = decoder->nextFrame(seconds)) {
            if (std::abs(seconds - 1.0) < 1e-6) {
                inSequence = samplesOf(*frame);
            }
        }
        ASSERT_FALSE(inSequence.isEmpty());
        ASSERT_TRUE(decoder->seekToKeyFrameNear(1.0, 0.2));
        const AVFrame* alone = decoder->keyFrameAlone(seconds);
        ASSERT_TRUE(alone);
        EXPECT_NEAR(seconds, 1.0, 1e-6);
        EXPECT_EQ(samplesOf(*alone), inSequence);
    }
}

// Whatever a damaged key frame holds, it is read within its bytes, and what
// cannot be read is left to the decoder as it came.
TEST_F(HevcOpenKeyFrameTest, ADamagedKeyFrameIsReadWithinItsBytes)
{
    const QString path = pathOf(QStringLiteral("clip.mp4"));
    test::VideoFields fields;
    fields.codec = test::VideoCodec::hevc;
    fields.frames = 20;
    fields.framesPerSecond = 10;
    fields.x265Parameters = "slices=2:repeat-headers=1";
    ASSERT_TRUE(test::makeVideo(path, fields));
    const KeyPacket key = secondKeyFrame(path);
    ASSERT_GT(key.packet.size(), 64);

    int refreshed = 0;
    for (qsizetype at = 0; at < 256 && at < key.packet.size(); ++at) {
        for (const bool cut : {true, false}) {
            QByteArray damaged = key.packet;
            if (cut) {
                damaged.truncate(at);
            } else {
                damaged[at] = char(damaged[at] ^ 0x5a);
            }
            HevcParameterSets sets = key.sets;
            refreshed += hevcOpenKeyFrameAsIdr(damaged, key.lengthSize, sets).has_value() ? 1 : 0;
        }
    }
    EXPECT_LT(refreshed, 512) << "some damage is noticed";
    for (const int lengthSize : {0, 1, 2, 3, 5}) {
        HevcParameterSets sets = key.sets;
        EXPECT_FALSE(hevcOpenKeyFrameAsIdr(key.packet, lengthSize, sets)) << lengthSize;
    }
}

} // namespace
} // namespace pivra
