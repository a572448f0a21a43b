#include "media/formats/HevcConfiguration.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace pivra {
namespace {

constexpr int sequenceParameterSetType = 33;
constexpr int pictureParameterSetType = 34;
// The record's fixed fields, up to its count of parameter-set arrays.
constexpr qsizetype fixedFields = 22;

// Reads the bits of a parameter set's payload, its emulation-prevention
// bytes taken out; reading past the end fails rather than giving zeros.
class BitReader {
public:
    explicit BitReader(QByteArray payload) : bytes_(std::move(payload)) {}

    std::optional<std::uint32_t> bits(int count)
    {
        std::uint32_t value = 0;
        for (int bit = 0; bit < count; ++bit, ++position_) {
            if (position_ >= std::int64_t(bytes_.size()) * 8) {
                return std::nullopt;
            }
            const auto byte = std::uint8_t(bytes_[qsizetype(position_ / 8)]);
            value = value << 1 | ((byte >> (7 - position_ % 8)) & 1);
        }
        return value;
    }

    // Exp-Golomb, unsigned; the sign of a signed one does not matter here.
    std::optional<std::uint32_t> golomb()
    {
        int zeros = 0;
        for (;;) {
            const std::optional<std::uint32_t> bit = bits(1);
            if (!bit) {
                return std::nullopt;
            }
            if (*bit == 1) {
                break;
            }
            if (++zeros > 31) {
                return std::nullopt;
            }
        }
        const std::optional<std::uint32_t> rest = bits(zeros);
        if (!rest) {
            return std::nullopt;
        }
        return std::uint32_t((std::uint64_t(1) << zeros) - 1 + *rest);
    }

    bool skipGolombs(int count)
    {
        for (int index = 0; index < count; ++index) {
            if (!golomb()) {
                return false;
            }
        }
        return true;
    }

private:
    QByteArray bytes_;
    std::int64_t position_ = 0;
};

// The payload of a NAL unit after its two-byte header, with every 0x03 that
// follows two zero bytes removed.
QByteArray payloadOf(QByteArrayView unit)
{
    QByteArray payload;
    payload.reserve(unit.size());
    int zeros = 0;
    for (qsizetype index = 2; index < unit.size(); ++index) {
        const char byte = unit[index];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        payload.append(byte);
    }
    return payload;
}

// entropy_coding_sync_enabled_flag of a picture parameter set; nothing when
// the set ends before it.
std::optional<bool> wavefrontsOf(QByteArrayView unit)
{
    BitReader reader(payloadOf(unit));
    // pps_pic_parameter_set_id, pps_seq_parameter_set_id
    if (!reader.skipGolombs(2)) {
        return std::nullopt;
    }
    // dependent slice segments, output flag, three extra slice header bits,
    // sign data hiding, cabac init present
    if (!reader.bits(7) || !reader.skipGolombs(3)) { // two default ref counts, init_qp
        return std::nullopt;
    }
    // constrained intra, transform skip, then cu_qp_delta_enabled_flag
    if (!reader.bits(2)) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> qpDelta = reader.bits(1);
    if (!qpDelta || (*qpDelta == 1 && !reader.skipGolombs(1))) {
        return std::nullopt;
    }
    // cb and cr offsets; chroma offsets present, weighted pred, weighted
    // bipred, transquant bypass, tiles
    if (!reader.skipGolombs(2) || !reader.bits(5)) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> wavefronts = reader.bits(1);
    if (!wavefronts) {
        return std::nullopt;
    }
    return *wavefronts == 1;
}

std::uint16_t bigEndian16(QByteArrayView bytes, qsizetype at)
{
    return std::uint16_t(std::uint8_t(bytes[at]) << 8 | std::uint8_t(bytes[at + 1]));
}

// Calls `found` with every NAL unit of `type` the record holds, until it
// answers false; false when the record is not whole or `found` stopped.
template<typename Found>
bool forEachUnit(QByteArrayView record, int type, Found found)
{
    if (record.size() <= fixedFields || record[0] != 1) {
        return false;
    }
    const int arrays = std::uint8_t(record[fixedFields]);
    qsizetype at = fixedFields + 1;
    for (int array = 0; array < arrays; ++array) {
        if (at + 3 > record.size()) {
            return false;
        }
        const int arrayType = std::uint8_t(record[at]) & 0x3f;
        const int units = bigEndian16(record, at + 1);
        at += 3;
        for (int unit = 0; unit < units; ++unit) {
            if (at + 2 > record.size()) {
                return false;
            }
            const qsizetype length = bigEndian16(record, at);
            at += 2;
            if (at + length > record.size()) {
                return false;
            }
            if (arrayType == type && !found(record.sliced(at, length))) {
                return false;
            }
            at += length;
        }
    }
    return true;
}

// profile_tier_level() of a sequence parameter set with `subLayers` - 1
// sub-layers, skipped.
bool skipProfileTierLevel(BitReader& reader, std::uint32_t extraSubLayers)
{
    // Profile space, tier, profile, 32 compatibility flags, 4 source flags,
    // 43 constraint bits and one more, then the level.
    if (!reader.bits(8) || !reader.bits(32) || !reader.bits(4) || !reader.bits(32) || !reader.bits(12)
        || !reader.bits(8)) {
        return false;
    }
    std::uint32_t profilePresent = 0;
    std::uint32_t levelPresent = 0;
    for (std::uint32_t layer = 0; layer < extraSubLayers; ++layer) {
        const std::optional<std::uint32_t> flags = reader.bits(2);
        if (!flags) {
            return false;
        }
        profilePresent |= (*flags >> 1) << layer;
        levelPresent |= (*flags & 1) << layer;
    }
    if (extraSubLayers > 0 && !reader.bits(int(2 * (8 - extraSubLayers)))) {
        return false;
    }
    for (std::uint32_t layer = 0; layer < extraSubLayers; ++layer) {
        // A sub-layer's profile: 88 bits; its level: 8.
        if ((profilePresent >> layer & 1) && (!reader.bits(32) || !reader.bits(32) || !reader.bits(24))) {
            return false;
        }
        if ((levelPresent >> layer & 1) && !reader.bits(8)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool isHevcSequenceParameterSet(QByteArrayView unit)
{
    return !unit.isEmpty() && (std::uint8_t(unit[0]) >> 1 & 0x3f) == sequenceParameterSetType;
}

std::optional<HevcPictureSize> hevcSequencePictureSize(QByteArrayView unit)
{
    BitReader reader(payloadOf(unit));
    reader.bits(4); // sps_video_parameter_set_id
    const std::optional<std::uint32_t> extraSubLayers = reader.bits(3);
    if (!extraSubLayers || *extraSubLayers > 6 || !reader.bits(1)
        || !skipProfileTierLevel(reader, *extraSubLayers) || !reader.golomb()) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> chromaFormat = reader.golomb();
    if (!chromaFormat || *chromaFormat > 3 || (*chromaFormat == 3 && !reader.bits(1))) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> width = reader.golomb();
    const std::optional<std::uint32_t> height = reader.golomb();
    const std::optional<std::uint32_t> window = reader.bits(1);
    if (!width || !height || !window || *width == 0 || *height == 0) {
        return std::nullopt;
    }
    HevcPictureSize size{*width, *height, *width, *height};
    if (*window == 1) {
        // Offsets count chroma samples: two luma samples where chroma is halved.
        const std::int64_t across = *chromaFormat == 1 || *chromaFormat == 2 ? 2 : 1;
        const std::int64_t down = *chromaFormat == 1 ? 2 : 1;
        std::int64_t offsets[4] = {};
        for (std::int64_t& offset : offsets) {
            const std::optional<std::uint32_t> value = reader.golomb();
            if (!value) {
                return std::nullopt;
            }
            offset = *value;
        }
        size.width -= across * (offsets[0] + offsets[1]);
        size.height -= down * (offsets[2] + offsets[3]);
    }
    if (size.width <= 0 || size.height <= 0) {
        return std::nullopt;
    }
    return size;
}

bool hevcCodedInWavefronts(QByteArrayView record)
{
    int sets = 0;
    const bool whole = forEachUnit(record, pictureParameterSetType, [&sets](QByteArrayView unit) {
        const std::optional<bool> wavefronts = wavefrontsOf(unit);
        ++sets;
        return wavefronts && *wavefronts;
    });
    return whole && sets > 0;
}

std::optional<int> hevcUnitLengthSize(QByteArrayView record)
{
    if (record.size() < fixedFields) {
        return std::nullopt;
    }
    return (std::uint8_t(record[21]) & 3) + 1; // lengthSizeMinusOne
}

std::optional<HevcPictureSize> hevcPictureSize(QByteArrayView record)
{
    std::optional<HevcPictureSize> largest;
    const bool whole = forEachUnit(record, sequenceParameterSetType, [&largest](QByteArrayView unit) {
        const std::optional<HevcPictureSize> size = hevcSequencePictureSize(unit);
        if (size && (!largest || size->codedWidth * size->codedHeight > largest->codedWidth * largest->codedHeight)) {
            largest = size;
        }
        return size.has_value();
    });
    return whole ? largest : std::nullopt;
}

} // namespace pivra
