#include "media/formats/coding/HevcOpenKeyFrame.h"

#include "media/formats/coding/HevcBits.h"
#include "media/formats/coding/HevcConfiguration.h"
#include "media/formats/coding/HevcParameterSets.h"
#include "media/video/VideoDecoder.h"
#include "support/files/PictureSamples.h"
#include "support/files/VideoMaker.h"
#include "support/system/TempFolder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <optional>
#include <vector>

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

// The units of `packet`, each after a big-endian length of `lengthSize`
// bytes; none when a length runs past its end.
std::optional<std::vector<QByteArray>> unitsOf(QByteArrayView packet, int lengthSize)
{
    std::vector<QByteArray> units;
    for (qsizetype at = 0; at < packet.size();) {
        qsizetype length = 0;
        for (int byte = 0; byte < lengthSize && at + byte < packet.size(); ++byte) {
            length = length << 8 | std::uint8_t(packet[at + byte]);
        }
        at += lengthSize;
        if (at + length > packet.size()) {
            return std::nullopt;
        }
        units.push_back(packet.sliced(at, length).toByteArray());
        at += length;
    }
    return units;
}

// An open group's key frame, rewritten as a refresh, decodes alone to the
// very picture it is when decoded in sequence, however libx265 lays out its
// slice headers, and the decoder's key frame alone is that refresh; a closed
// group's is left as it is.
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
        const std::optional<QByteArray> refresh = hevcOpenKeyFrameAsIdr(key.packet, key.lengthSize, key.sets);
        ASSERT_EQ(refresh.has_value(), coding.refreshed);

        const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(path, 2, VideoDecoder::Threading::slices);
        ASSERT_TRUE(decoder);
        double seconds = -1;
        QByteArray inSequence;
        while (const AVFrame* frame = decoder->nextFrame(seconds)) {
            if (std::abs(seconds - 1.0) < 1e-6) {
                inSequence = test::samplesOf(*frame);
            }
        }
        ASSERT_FALSE(inSequence.isEmpty());
        ASSERT_TRUE(decoder->seekToKeyFrameNear(1.0, 0.2));
        const AVFrame* alone = decoder->keyFrameAlone(seconds);
        ASSERT_TRUE(alone);
        EXPECT_NEAR(seconds, 1.0, 1e-6);
        EXPECT_EQ(test::samplesOf(*alone), inSequence);
        // Decoded from the refresh's bytes, not the key frame's own, which
        // its shorter slice headers tell apart.
        ASSERT_TRUE(!refresh || refresh->size() < key.packet.size());
        EXPECT_EQ(alone->pkt_size, refresh ? refresh->size() : key.packet.size());
    }
}

// Whatever a damaged key frame holds, it is read within its bytes and its
// units, and what cannot be read is left to the decoder as it came.
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

    const auto refreshOf = [&key](QByteArrayView packet) {
        HevcParameterSets sets = key.sets;
        return hevcOpenKeyFrameAsIdr(packet, key.lengthSize, sets);
    };
    const std::optional<std::vector<QByteArray>> units = unitsOf(key.packet, key.lengthSize);
    ASSERT_TRUE(units);
    ASSERT_GE(units->size(), 5U) << "parameter sets, and slices";
    // Each unit's first bytes (its length, its header and, in a slice, the
    // slice header with the references a refresh leaves out) and the
    // packet's last, where a file that breaks off cuts it.
    std::vector<qsizetype> damages;
    qsizetype unitAt = 0;
    for (const QByteArray& unit : *units) {
        for (qsizetype at = unitAt; at < unitAt + 48 && at < key.packet.size(); ++at) {
            damages.push_back(at);
        }
        unitAt += key.lengthSize + unit.size();
    }
    for (qsizetype at = key.packet.size() - 48; at < key.packet.size(); ++at) {
        damages.push_back(at);
    }
    int refreshed = 0;
    for (const qsizetype at : damages) {
        for (const bool cut : {true, false}) {
            QByteArray damaged = key.packet;
            if (cut) {
                damaged.truncate(at);
            } else {
                damaged[at] = char(damaged[at] ^ 0x5a);
            }
            SCOPED_TRACE(testing::Message() << (cut ? "cut at " : "changed at ") << at);
            const std::optional<QByteArray> refresh = refreshOf(damaged);
            // Read within its bytes: what lies after them in memory (the
            // rest of the key frame, as a packet cut short has it there, and
            // another; or other bytes) changes nothing.
            const QByteArray rest = key.packet.mid(damaged.size()) + key.packet;
            for (const QByteArray& after : {rest, QByteArray(rest.size(), char(0xff))}) {
                const QByteArray followed = damaged + after;
                EXPECT_EQ(refreshOf(QByteArrayView(followed).first(damaged.size())), refresh);
            }
            const std::optional<std::vector<QByteArray>> before = unitsOf(damaged, key.lengthSize);
            if (!refresh) {
                continue;
            }
            ++refreshed;
            // Only whole units are read: a packet cut inside one is left as
            // it came. A refresh keeps every unit, and each slice's data as
            // it came after a header of a few bytes.
            ASSERT_TRUE(before) << "a unit cut short was read";
            const std::optional<std::vector<QByteArray>> after = unitsOf(*refresh, key.lengthSize);
            ASSERT_TRUE(after);
            ASSERT_EQ(after->size(), before->size());
            for (std::size_t unit = 0; unit < after->size(); ++unit) {
                const QByteArray& was = before->at(unit);
                const QByteArray& is = after->at(unit);
                if (hevcUnitType(was) >= 32) {
                    EXPECT_EQ(is, was) << unit;
                } else {
                    EXPECT_EQ(hevcUnitType(is), 20) << unit; // IDR_N_LP
                    EXPECT_TRUE(was.endsWith(is.mid(32))) << unit;
                }
            }
        }
    }
    EXPECT_GT(refreshed, 0);
    EXPECT_LT(refreshed, int(damages.size()) * 2) << "some damage is noticed";
    for (const int lengthSize : {0, 1, 2, 3, 5}) {
        HevcParameterSets sets = key.sets;
        EXPECT_FALSE(hevcOpenKeyFrameAsIdr(key.packet, lengthSize, sets)) << lengthSize;
    }
}

} // namespace
} // namespace pivra
