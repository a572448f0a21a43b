#include "media/formats/coding/Av1Configuration.h"

namespace pivra {
namespace {

constexpr int sequenceHeaderType = 1;
// The fixed part of an 'av1C' record: marker and version, profile and
// level, tier and the samples' fields, then the presentation delay.
constexpr qsizetype recordFixedBytes = 4;

// Reads bits most significant first; reading past the end gives nothing.
class Bits {
public:
    explicit Bits(QByteArrayView bytes) : bytes_(bytes) {}

    std::optional<std::uint32_t> take(int count)
    {
        std::uint32_t value = 0;
        for (int bit = 0; bit < count; ++bit, ++at_) {
            if (at_ >= bytes_.size() * 8) {
                return std::nullopt;
            }
            value = value << 1 | ((std::uint8_t(bytes_[at_ / 8]) >> (7 - at_ % 8)) & 1);
        }
        return value;
    }

    bool skip(int count) { return take(count).has_value() || count == 0; }

    // uvlc(): leading zeros, then as many bits.
    bool skipVariable()
    {
        int zeros = 0;
        while (true) {
            const std::optional<std::uint32_t> bit = take(1);
            if (!bit) {
                return false;
            }
            if (*bit == 1) {
                break;
            }
            ++zeros;
        }
        return zeros >= 32 || skip(zeros);
    }

private:
    QByteArrayView bytes_;
    qsizetype at_ = 0;
};

// leb128(): at most eight bytes of seven bits each, least significant first.
std::optional<std::uint64_t> sizeField(QByteArrayView bytes, qsizetype& at)
{
    std::uint64_t value = 0;
    for (int index = 0; index < 8; ++index, ++at) {
        if (at >= bytes.size()) {
            return std::nullopt;
        }
        const auto byte = std::uint8_t(bytes[at]);
        value |= std::uint64_t(byte & 0x7f) << (7 * index);
        if ((byte & 0x80) == 0) {
            ++at;
            return value;
        }
    }
    return std::nullopt;
}

// The frame size of a sequence header's payload, past its operating points.
std::optional<Av1PictureSize> sequenceHeaderSize(QByteArrayView payload)
{
    Bits bits(payload);
    const auto profileAndStill = bits.take(4); // seq_profile, still_picture
    const auto reduced = bits.take(1);
    if (!profileAndStill || !reduced) {
        return std::nullopt;
    }
    if (*reduced != 0) {
        if (!bits.skip(5)) { // seq_level_idx[0]
            return std::nullopt;
        }
    } else {
        const auto timing = bits.take(1);
        if (!timing) {
            return std::nullopt;
        }
        std::optional<std::uint32_t> decoderModel = 0;
        int delayLength = 0;
        if (*timing != 0) {
            // Ticks and time scale; then, for pictures at equal intervals, their ticks.
            const bool timed = bits.skip(64);
            const auto equal = bits.take(1);
            if (!timed || !equal || (*equal != 0 && !bits.skipVariable())) {
                return std::nullopt;
            }
            decoderModel = bits.take(1);
            if (decoderModel && *decoderModel != 0) {
                const auto delayMinus1 = bits.take(5);
                if (!delayMinus1 || !bits.skip(32 + 5 + 5)) {
                    return std::nullopt;
                }
                delayLength = int(*delayMinus1) + 1;
            }
        }
        const auto displayDelay = bits.take(1);
        const auto pointsMinus1 = bits.take(5);
        if (!decoderModel || !displayDelay || !pointsMinus1) {
            return std::nullopt;
        }
        for (std::uint32_t point = 0; point <= *pointsMinus1; ++point) {
            const bool idc = bits.skip(12);
            const auto level = bits.take(5);
            if (!idc || !level || (*level > 7 && !bits.skip(1))) {
                return std::nullopt;
            }
            if (*decoderModel != 0) {
                const auto present = bits.take(1);
                if (!present || (*present != 0 && !bits.skip(2 * delayLength + 1))) {
                    return std::nullopt;
                }
            }
            if (*displayDelay != 0) {
                const auto present = bits.take(1);
                if (!present || (*present != 0 && !bits.skip(4))) {
                    return std::nullopt;
                }
            }
        }
    }
    const auto widthBits = bits.take(4);
    const auto heightBits = bits.take(4);
    const auto widthMinus1 = widthBits ? bits.take(int(*widthBits) + 1) : std::nullopt;
    const auto heightMinus1 = heightBits ? bits.take(int(*heightBits) + 1) : std::nullopt;
    if (!widthMinus1 || !heightMinus1) {
        return std::nullopt;
    }
    return Av1PictureSize{std::int64_t(*widthMinus1) + 1, std::int64_t(*heightMinus1) + 1};
}

} // namespace

std::optional<Av1PictureSize> av1PictureSize(QByteArrayView obus)
{
    qsizetype at = 0;
    while (at < obus.size()) {
        const auto header = std::uint8_t(obus[at]);
        const int type = (header >> 3) & 0xf;
        const bool extended = (header & 0x4) != 0;
        const bool sized = (header & 0x2) != 0;
        at += extended ? 2 : 1;
        if (at > obus.size()) {
            return std::nullopt;
        }
        // An OBU without its size runs to the end.
        const std::optional<std::uint64_t> size = sized ? sizeField(obus, at) : std::uint64_t(obus.size() - at);
        if (!size || *size > std::uint64_t(obus.size() - at)) {
            return std::nullopt;
        }
        if (type == sequenceHeaderType) {
            return sequenceHeaderSize(obus.sliced(at, qsizetype(*size)));
        }
        at += qsizetype(*size);
    }
    return std::nullopt;
}

std::optional<Av1Samples> av1Samples(QByteArrayView record)
{
    if (record.size() < recordFixedBytes) {
        return std::nullopt;
    }
    const auto fields = std::uint8_t(record[2]);
    const bool high = (fields & 0x40) != 0;
    const bool twelve = (fields & 0x20) != 0;
    const bool monochrome = (fields & 0x10) != 0;
    const bool halfWide = (fields & 0x08) != 0;
    const bool halfHigh = (fields & 0x04) != 0;
    const int chroma = monochrome ? 0 : !halfWide ? 3 : halfHigh ? 1 : 2;
    return Av1Samples{chroma, high ? (twelve ? 12 : 10) : 8};
}

QByteArrayView av1ConfigurationObus(QByteArrayView record)
{
    return record.size() > recordFixedBytes ? record.sliced(recordFixedBytes) : QByteArrayView();
}

} // namespace pivra
