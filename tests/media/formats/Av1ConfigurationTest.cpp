#include "media/formats/coding/Av1Configuration.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace pivra {
namespace {

// Writes fields most significant bit first, as AV1 codes them.
class BitWriter {
public:
    BitWriter& put(std::uint64_t value, int bits)
    {
        for (int bit = bits - 1; bit >= 0; --bit) {
            if (count_ % 8 == 0) {
                bytes_.append('\0');
            }
            if (((value >> bit) & 1) != 0) {
                bytes_[bytes_.size() - 1] = char(std::uint8_t(bytes_.back()) | (0x80 >> (count_ % 8)));
            }
            ++count_;
        }
        return *this;
    }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    int count_ = 0;
};

// A sequence header's fields up to its frame size: 16-bit sizes.
QByteArray sequenceHeader(bool reduced, bool timing, bool decoderModel, int points, int width, int height)
{
    BitWriter bits;
    bits.put(0, 3).put(1, 1).put(reduced, 1); // profile, still picture
    if (reduced) {
        bits.put(31, 5);
    } else {
        bits.put(timing, 1);
        if (timing) {
            bits.put(1001, 32).put(30000, 32).put(1, 1).put(0b00101, 5); // uvlc() of 4
            bits.put(decoderModel, 1);
            if (decoderModel) {
                bits.put(9, 5).put(90000, 32).put(4, 5).put(4, 5); // delays of 10 bits
            }
        }
        bits.put(1, 1).put(points - 1, 5); // initial display delays present
        for (int point = 0; point < points; ++point) {
            bits.put(point, 12).put(8, 5).put(1, 1); // level 8 has a tier
            if (decoderModel) {
                bits.put(1, 1).put(100, 10).put(200, 10).put(0, 1);
            }
            bits.put(1, 1).put(3, 4);
        }
    }
    bits.put(15, 4).put(15, 4).put(width - 1, 16).put(height - 1, 16);
    return QByteArray(bits.bytes()).append(QByteArray(4, '\0')); // the header's remaining fields
}

// OBUs with their sizes: a temporal delimiter, then `payload` as a sequence header.
QByteArray obus(const QByteArray& payload)
{
    QByteArray sized;
    sized.append(char(0x12)).append('\0'); // temporal delimiter, empty
    sized.append(char(0x0a)); // sequence header, with its size
    for (qsizetype size = payload.size();; size >>= 7) {
        sized.append(char((size & 0x7f) | (size >= 0x80 ? 0x80 : 0)));
        if (size < 0x80) {
            break;
        }
    }
    return sized.append(payload);
}

TEST(Av1ConfigurationTest, TheLargestFrameIsReadPastEveryOptionalPartOfTheSequenceHeader)
{
    const struct {
        const char* name;
        QByteArray obus;
        std::optional<std::pair<int, int>> size;
    } rows[] = {
        {"reduced still picture", obus(sequenceHeader(true, false, false, 1, 8064, 6048)), std::pair(8064, 6048)},
        {"one operating point", obus(sequenceHeader(false, false, false, 1, 640, 480)), std::pair(640, 480)},
        {"timing and decoder model", obus(sequenceHeader(false, true, true, 3, 3840, 2160)), std::pair(3840, 2160)},
        {"timing alone", obus(sequenceHeader(false, true, false, 2, 100, 50)), std::pair(100, 50)},
        {"cut in its sizes", obus(sequenceHeader(false, true, true, 3, 3840, 2160).first(24)), std::nullopt},
        {"size past the end", obus(sequenceHeader(true, false, false, 1, 64, 48)).chopped(6), std::nullopt},
        {"no sequence header", QByteArray("\x12\x00\x32\x01\x00", 5), std::nullopt},
        {"nothing", QByteArray(), std::nullopt},
    };
    for (const auto& row : rows) {
        const std::optional<Av1PictureSize> size = av1PictureSize(row.obus);
        ASSERT_EQ(size.has_value(), row.size.has_value()) << row.name;
        if (size) {
            EXPECT_EQ(std::pair(int(size->width), int(size->height)), *row.size) << row.name;
        }
    }
}

TEST(Av1ConfigurationTest, SamplesAreReadFromTheRecordsThirdByte)
{
    const struct {
        std::uint8_t fields; // tier, high bit depth, twelve bit, monochrome, subsampling x and y, position
        int chromaFormat;
        int bitDepth;
    } rows[] = {{0x0c, 1, 8}, {0x4c, 1, 10}, {0x6c, 1, 12}, {0x1c, 0, 8}, {0x08, 2, 8}, {0x00, 3, 8}};
    for (const auto& row : rows) {
        const QByteArray record = QByteArray("\x81\x00", 2).append(char(row.fields)).append('\0');
        const std::optional<Av1Samples> samples = av1Samples(record);
        ASSERT_TRUE(samples) << int(row.fields);
        EXPECT_EQ(samples->chromaFormat, row.chromaFormat) << int(row.fields);
        EXPECT_EQ(samples->bitDepth, row.bitDepth) << int(row.fields);
    }
    EXPECT_FALSE(av1Samples(QByteArray("\x81\x00\x0c", 3)));
}

} // namespace
} // namespace pivra
