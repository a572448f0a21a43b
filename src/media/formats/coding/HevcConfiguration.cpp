#include "media/formats/coding/HevcConfiguration.h"

#include "media/formats/coding/HevcBits.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>

namespace pivra {
namespace {

constexpr int sequenceParameterSetType = 33;
constexpr int pictureParameterSetType = 34;
// The record's fixed fields, up to its count of parameter-set arrays.
constexpr qsizetype fixedFields = 22;

// entropy_coding_sync_enabled_flag of a picture parameter set; nothing when
// the set ends before it.
std::optional<bool> wavefrontsOf(QByteArrayView unit)
{
    HevcBitReader reader(hevcPayload(unit));
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

// Calls `found` with every NAL unit of `type` (any, when negative) the record
// holds, until it answers false; false when the record is not whole or `found` stopped.
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
            if ((type < 0 || arrayType == type) && !found(record.sliced(at, length))) {
                return false;
            }
            at += length;
        }
    }
    return true;
}

} // namespace

bool isHevcSequenceParameterSet(QByteArrayView unit)
{
    return hevcUnitType(unit) == sequenceParameterSetType;
}

std::optional<HevcPictureSize> hevcSequencePictureSize(QByteArrayView unit)
{
    HevcBitReader reader(hevcPayload(unit));
    const std::optional<HevcSequenceHead> head = readHevcSequenceHead(reader);
    if (!head) {
        return std::nullopt;
    }
    HevcPictureSize size{head->width, head->height, head->width, head->height};
    // Offsets count chroma samples: two luma samples where chroma is halved.
    const std::int64_t across = head->chromaFormat == 1 || head->chromaFormat == 2 ? 2 : 1;
    const std::int64_t down = head->chromaFormat == 1 ? 2 : 1;
    size.width -= across * (std::int64_t(head->window[0]) + head->window[1]);
    size.height -= down * (std::int64_t(head->window[2]) + head->window[3]);
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

bool forEachHevcRecordUnit(QByteArrayView record, const std::function<bool(QByteArrayView)>& found)
{
    return forEachUnit(record, -1, found);
}

} // namespace pivra
