#include "media/formats/coding/HevcBits.h"

#include <algorithm>

namespace pivra {

std::optional<std::uint32_t> HevcBitReader::bits(int count)
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

std::optional<std::uint32_t> HevcBitReader::golomb()
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

std::optional<std::int32_t> HevcBitReader::signedGolomb()
{
    const std::optional<std::uint32_t> code = golomb();
    if (!code) {
        return std::nullopt;
    }
    const auto magnitude = std::int32_t((std::uint64_t(*code) + 1) / 2);
    return *code % 2 == 1 ? magnitude : -magnitude;
}

bool HevcBitReader::skipGolombs(int count)
{
    for (int index = 0; index < count; ++index) {
        if (!golomb()) {
            return false;
        }
    }
    return true;
}

QByteArray hevcPayload(QByteArrayView unit)
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

std::optional<qsizetype> hevcUnitOffset(QByteArrayView unit, qsizetype payloadBytes)
{
    qsizetype kept = 0;
    int zeros = 0;
    for (qsizetype index = 2; index < unit.size(); ++index) {
        if (kept == payloadBytes) {
            return index;
        }
        const char byte = unit[index];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        ++kept;
    }
    return kept == payloadBytes ? std::optional<qsizetype>(unit.size()) : std::nullopt;
}

QByteArray hevcEscaped(QByteArrayView payload)
{
    QByteArray escaped;
    escaped.reserve(payload.size() + payload.size() / 64 + 1);
    int zeros = 0;
    for (const char byte : payload) {
        if (zeros >= 2 && std::uint8_t(byte) <= 3) {
            escaped.append(char(3));
            zeros = 0;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        escaped.append(byte);
    }
    return escaped;
}

bool skipHevcProfileTierLevel(HevcBitReader& reader, std::uint32_t extraSubLayers)
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

bool skipHevcScalingLists(HevcBitReader& reader)
{
    for (int size = 0; size < 4; ++size) {
        for (int matrix = 0; matrix < 6; matrix += size == 3 ? 3 : 1) {
            const std::optional<std::uint32_t> coded = reader.bits(1);
            if (!coded) {
                return false;
            }
            if (*coded == 0) {
                if (!reader.golomb()) { // a reference to another list
                    return false;
                }
                continue;
            }
            const int coefficients = std::min(64, 1 << (4 + (size << 1)));
            if (!reader.skipGolombs(coefficients + (size > 1 ? 1 : 0))) {
                return false;
            }
        }
    }
    return true;
}

std::optional<HevcSequenceHead> readHevcSequenceHead(HevcBitReader& reader)
{
    HevcSequenceHead head;
    reader.bits(4); // sps_video_parameter_set_id
    const std::optional<std::uint32_t> extraSubLayers = reader.bits(3);
    if (!extraSubLayers || *extraSubLayers > 6 || !reader.bits(1)
        || !skipHevcProfileTierLevel(reader, *extraSubLayers)) {
        return std::nullopt;
    }
    head.extraSubLayers = *extraSubLayers;
    const std::optional<std::uint32_t> id = reader.golomb();
    const std::optional<std::uint32_t> chromaFormat = reader.golomb();
    if (!id || *id > 15 || !chromaFormat || *chromaFormat > 3) {
        return std::nullopt;
    }
    head.id = *id;
    head.chromaFormat = *chromaFormat;
    if (*chromaFormat == 3) {
        const std::optional<std::uint32_t> separate = reader.bits(1);
        if (!separate) {
            return std::nullopt;
        }
        head.separateColourPlanes = *separate == 1;
    }
    const std::optional<std::uint32_t> width = reader.golomb();
    const std::optional<std::uint32_t> height = reader.golomb();
    const std::optional<std::uint32_t> window = reader.bits(1);
    if (!width || !height || !window || *width == 0 || *height == 0) {
        return std::nullopt;
    }
    head.width = *width;
    head.height = *height;
    for (std::uint32_t& offset : head.window) {
        const std::optional<std::uint32_t> value = *window == 1 ? reader.golomb() : std::optional<std::uint32_t>(0);
        if (!value) {
            return std::nullopt;
        }
        offset = *value;
    }
    return head;
}

int hevcUnitType(QByteArrayView unit)
{
    return unit.size() < 2 ? -1 : std::uint8_t(unit[0]) >> 1 & 0x3f;
}

} // namespace pivra
