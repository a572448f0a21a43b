#include "media/formats/coding/HevcOpenKeyFrame.h"

#include "media/formats/coding/HevcBits.h"
#include "media/formats/coding/HevcParameterSets.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pivra {
namespace {

constexpr int firstBrokenLinkType = 16; // BLA_W_LP
constexpr int lastBrokenLinkType = 18; // BLA_N_LP
constexpr int cleanRandomAccessType = 21; // CRA_NUT
constexpr int refreshWithoutLeadingType = 20; // IDR_N_LP
constexpr int firstNonVideoType = 32;

bool opensAGroup(int type)
{
    return (type >= firstBrokenLinkType && type <= lastBrokenLinkType) || type == cleanRandomAccessType;
}
constexpr std::uint32_t intraSlice = 2;
// Enough for a slice header with its entry points, as a rule.
constexpr qsizetype headerBytes = 4096;

// Collects bits, most significant first.
class BitWriter {
public:
    void bit(bool value)
    {
        if (count_ % 8 == 0) {
            bytes_.append(char(0));
        }
        if (value) {
            bytes_[bytes_.size() - 1] = char(std::uint8_t(bytes_.back()) | 0x80 >> (count_ % 8));
        }
        ++count_;
    }

    // Bits [from, to) of `source`.
    void copy(const QByteArray& source, std::int64_t from, std::int64_t to)
    {
        for (std::int64_t at = from; at < to; ++at) {
            bit((std::uint8_t(source[qsizetype(at / 8)]) >> (7 - at % 8)) & 1);
        }
    }

    // byte_alignment(): a one, then zeros to the byte's end.
    QByteArray aligned()
    {
        bit(true);
        while (count_ % 8 != 0) {
            bit(false);
        }
        return bytes_;
    }

private:
    QByteArray bytes_;
    std::int64_t count_ = 0;
};

bool flag(HevcBitReader& reader, bool& value)
{
    const std::optional<std::uint32_t> bit = reader.bits(1);
    value = bit && *bit == 1;
    return bit.has_value();
}

// Reads the part of an independent slice header that only a picture with
// references has: its order count, short-term and long-term references and
// the temporal motion vector flag.
bool skipReferences(HevcBitReader& reader, const HevcSequenceSyntax& sequence)
{
    bool fromSequence = false;
    if (!reader.bits(sequence.pictureOrderBits) || !flag(reader, fromSequence)) {
        return false;
    }
    const auto sets = std::uint32_t(sequence.referenceSetSizes.size());
    if (!fromSequence) {
        if (!readHevcReferenceSet(reader, int(sets), sequence.referenceSetSizes, true)) {
            return false;
        }
    } else if (sets == 0 || (sets > 1 && !reader.bits(hevcBitsBelow(sets)))) {
        return false;
    }
    if (sequence.longTermReferences) {
        const std::optional<std::uint32_t> fromSets
            = sequence.longTermSets > 0 ? reader.golomb() : std::optional<std::uint32_t>(0);
        const std::optional<std::uint32_t> own = reader.golomb();
        if (!fromSets || !own || *fromSets > std::uint32_t(sequence.longTermSets) || *own > 32) {
            return false;
        }
        for (std::uint32_t picture = 0; picture < *fromSets + *own; ++picture) {
            const int bits = picture < *fromSets ? hevcBitsBelow(std::uint32_t(sequence.longTermSets))
                                                 : sequence.pictureOrderBits + 1;
            bool cycle = false;
            if (!reader.bits(bits) || !flag(reader, cycle) || (cycle && !reader.golomb())) {
                return false;
            }
        }
    }
    return !sequence.temporalMotionVectors || reader.bits(1);
}

// Reads an intra slice header from after its references to its
// byte_alignment(); answers where that alignment starts.
std::optional<std::int64_t> alignmentOf(HevcBitReader& reader, const HevcSequenceSyntax& sequence,
                                        const HevcPictureSyntax& picture)
{
    bool offsetLuma = false;
    bool offsetChroma = false;
    if (sequence.sampleAdaptiveOffset
        && (!flag(reader, offsetLuma) || (sequence.chroma && !flag(reader, offsetChroma)))) {
        return std::nullopt;
    }
    // slice_qp_delta, and the chroma offsets
    if (!reader.skipGolombs(picture.chromaOffsets ? 3 : 1)
        || (picture.chromaOffsetList && !reader.bits(1))) {
        return std::nullopt;
    }
    bool overridden = false;
    bool deblockingDisabled = picture.deblockingDisabled;
    if (picture.deblockingOverride && !flag(reader, overridden)) {
        return std::nullopt;
    }
    if (overridden && (!flag(reader, deblockingDisabled) || (!deblockingDisabled && !reader.skipGolombs(2)))) {
        return std::nullopt;
    }
    if (picture.loopFilterAcrossSlices && (offsetLuma || offsetChroma || !deblockingDisabled) && !reader.bits(1)) {
        return std::nullopt;
    }
    if (picture.entryPoints) {
        const std::optional<std::uint32_t> points = reader.golomb();
        if (!points || *points > std::uint32_t(sequence.codingTreeBlocks)) {
            return std::nullopt;
        }
        const std::optional<std::uint32_t> length = *points > 0 ? reader.golomb() : std::optional<std::uint32_t>(0);
        if (!length || *length > 31) {
            return std::nullopt;
        }
        for (std::uint32_t point = 0; point < *points; ++point) {
            if (!reader.bits(int(*length) + 1)) {
                return std::nullopt;
            }
        }
    }
    if (picture.headerExtension) {
        const std::optional<std::uint32_t> length = reader.golomb();
        if (!length || *length > 256) {
            return std::nullopt;
        }
        for (std::uint32_t byte = 0; byte < *length; ++byte) {
            if (!reader.bits(8)) {
                return std::nullopt;
            }
        }
    }
    const std::int64_t alignment = reader.position();
    const std::optional<std::uint32_t> one = reader.bits(1);
    if (!one || *one != 1) {
        return std::nullopt;
    }
    while (reader.position() % 8 != 0) {
        const std::optional<std::uint32_t> zero = reader.bits(1);
        if (!zero || *zero != 0) {
            return std::nullopt;
        }
    }
    return alignment;
}

// A slice segment's new start: its NAL unit header and slice header as an
// IDR's, followed by the unit's bytes from `dataAt` on.
struct RefreshedStart {
    QByteArray header;
    qsizetype dataAt = 0;
};

// One slice segment of the key frame as an IDR's; nothing when it cannot be
// read within its first `readBytes`.
std::optional<RefreshedStart> refreshSlice(QByteArrayView unit, const HevcParameterSets& sets, qsizetype readBytes)
{
    HevcBitReader reader(hevcPayload(unit.first(std::min(unit.size(), readBytes))));
    bool first = false;
    const std::optional<std::uint32_t> pictureId = flag(reader, first) && reader.bits(1) // no_output_of_prior_pics
        ? reader.golomb()
        : std::nullopt;
    const HevcPictureSyntax* picture = pictureId ? sets.picture(*pictureId) : nullptr;
    const HevcSequenceSyntax* sequence = picture ? sets.sequence(picture->sequence) : nullptr;
    if (!sequence || picture->screenContent) {
        return std::nullopt;
    }
    bool dependent = false;
    if (!first
        && ((picture->dependentSlices && !flag(reader, dependent))
            || !reader.bits(hevcBitsBelow(std::uint32_t(sequence->codingTreeBlocks))))) {
        return std::nullopt;
    }
    QByteArray header(unit.first(2).toByteArray());
    header[0] = char((std::uint8_t(header[0]) & 0x81) | refreshWithoutLeadingType << 1);
    if (dependent) {
        // A dependent segment's header has no references of its own.
        return RefreshedStart{header, 2};
    }
    const std::optional<std::uint32_t> type
        = reader.bits(picture->extraSliceHeaderBits) ? reader.golomb() : std::nullopt;
    if (!type || *type != intraSlice || (picture->outputFlag && !reader.bits(1))
        || (sequence->separateColourPlanes && !reader.bits(2))) {
        return std::nullopt;
    }
    const std::int64_t references = reader.position();
    if (!skipReferences(reader, *sequence)) {
        return std::nullopt;
    }
    const std::int64_t afterReferences = reader.position();
    const std::optional<std::int64_t> alignment = alignmentOf(reader, *sequence, *picture);
    const std::optional<qsizetype> data = alignment ? hevcUnitOffset(unit, qsizetype(reader.position() / 8))
                                                    : std::nullopt;
    if (!data) {
        return std::nullopt;
    }
    BitWriter rewritten;
    rewritten.copy(reader.bytes(), 0, references);
    rewritten.copy(reader.bytes(), afterReferences, *alignment);
    // The header ends in the alignment's one: no zero bytes run on into the
    // data, which is kept as it is coded.
    return RefreshedStart{header.append(hevcEscaped(rewritten.aligned())), *data};
}

} // namespace

std::optional<QByteArray> hevcOpenKeyFrameAsIdr(QByteArrayView packet, int lengthSize, HevcParameterSets& sets)
{
    if (lengthSize < 1 || lengthSize > 4) {
        return std::nullopt;
    }
    QByteArray rewritten;
    rewritten.reserve(packet.size() + 256);
    bool refreshed = false;
    for (qsizetype at = 0; at < packet.size();) {
        if (at + lengthSize > packet.size()) {
            return std::nullopt;
        }
        std::uint64_t length = 0;
        for (int byte = 0; byte < lengthSize; ++byte) {
            length = length << 8 | std::uint8_t(packet[at + byte]);
        }
        if (length > std::uint64_t(packet.size() - at - lengthSize)) {
            return std::nullopt;
        }
        const QByteArrayView unit = packet.sliced(at + lengthSize, qsizetype(length));
        at += lengthSize + qsizetype(length);
        const int type = hevcUnitType(unit);
        if (type < 0) {
            return std::nullopt;
        }
        RefreshedStart start{{}, 0};
        if (type >= firstNonVideoType) {
            sets.add(unit);
        } else if (opensAGroup(type)) {
            // The header is read from the unit's start; a 4K key frame's
            // megabytes are read once more only when the header runs on.
            std::optional<RefreshedStart> slice = refreshSlice(unit, sets, headerBytes);
            if (!slice && unit.size() > headerBytes) {
                slice = refreshSlice(unit, sets, unit.size());
            }
            if (!slice) {
                return std::nullopt;
            }
            start = std::move(*slice);
            refreshed = true;
        } else {
            return std::nullopt; // a picture of another kind in the same packet
        }
        const QByteArrayView data = unit.sliced(start.dataAt);
        const auto size = std::uint64_t(start.header.size() + data.size());
        if (lengthSize < 4 && size >> (8 * lengthSize) != 0) {
            return std::nullopt;
        }
        for (int byte = lengthSize - 1; byte >= 0; --byte) {
            rewritten.append(char(size >> (8 * byte)));
        }
        rewritten.append(start.header).append(data);
    }
    if (!refreshed) {
        return std::nullopt;
    }
    return rewritten;
}

} // namespace pivra
