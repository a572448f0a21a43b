#include "media/formats/HevcConfiguration.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace pivra {
namespace {

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

} // namespace

bool hevcCodedInWavefronts(QByteArrayView record)
{
    if (record.size() <= fixedFields || record[0] != 1) {
        return false;
    }
    const int arrays = std::uint8_t(record[fixedFields]);
    qsizetype at = fixedFields + 1;
    int sets = 0;
    for (int array = 0; array < arrays; ++array) {
        if (at + 3 > record.size()) {
            return false;
        }
        const int type = std::uint8_t(record[at]) & 0x3f;
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
            if (type == pictureParameterSetType) {
                const std::optional<bool> wavefronts = wavefrontsOf(record.sliced(at, length));
                if (!wavefronts || !*wavefronts) {
                    return false;
                }
                ++sets;
            }
            at += length;
        }
    }
    return sets > 0;
}

} // namespace pivra
