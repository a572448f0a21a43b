#include "media/formats/coding/HevcParameterSets.h"

#include "media/formats/coding/HevcBits.h"

#include <optional>

namespace pivra {
namespace {

constexpr int sequenceParameterSetType = 33;
constexpr int pictureParameterSetType = 34;
// Bounds the standard sets on what a stream may hold.
constexpr std::uint32_t mostReferenceSets = 64;
constexpr std::uint32_t mostLongTermSets = 32;
constexpr std::uint32_t mostPictures = 16; // in one short-term reference set

// Reads flags into `flags` in order; false when the payload ends first.
template<typename... Flags>
bool readFlags(HevcBitReader& reader, Flags&... flags)
{
    bool whole = true;
    const auto read = [&](bool& flag) {
        const std::optional<std::uint32_t> bit = whole ? reader.bits(1) : std::nullopt;
        whole = bit.has_value();
        flag = whole && *bit == 1;
    };
    (read(flags), ...);
    return whole;
}

std::optional<HevcSequenceSyntax> sequenceOf(HevcBitReader& reader, std::uint32_t& id)
{
    const std::optional<HevcSequenceHead> head = readHevcSequenceHead(reader);
    if (!head) {
        return std::nullopt;
    }
    id = head->id;
    HevcSequenceSyntax syntax;
    syntax.separateColourPlanes = head->separateColourPlanes;
    syntax.chroma = head->chromaFormat != 0 && !head->separateColourPlanes;
    // bit depths, then log2_max_pic_order_cnt_lsb_minus4
    if (!reader.skipGolombs(2)) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> orderBits = reader.golomb();
    const std::optional<std::uint32_t> orderingForAll = reader.bits(1);
    if (!orderBits || *orderBits > 12 || !orderingForAll) {
        return std::nullopt;
    }
    syntax.pictureOrderBits = int(*orderBits) + 4;
    const std::uint32_t orderings = *orderingForAll == 1 ? head->extraSubLayers + 1 : 1;
    if (!reader.skipGolombs(int(3 * orderings))) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> smallestBlock = reader.golomb();
    const std::optional<std::uint32_t> largestBlock = reader.golomb();
    // transform block sizes and depths
    bool scalingLists = false;
    if (!smallestBlock || !largestBlock || *smallestBlock + *largestBlock > 3 || !reader.skipGolombs(4)
        || !readFlags(reader, scalingLists)) {
        return std::nullopt;
    }
    bool listsCoded = false;
    if (scalingLists && (!readFlags(reader, listsCoded) || (listsCoded && !skipHevcScalingLists(reader)))) {
        return std::nullopt;
    }
    bool asymmetricMotion = false;
    bool pulseCode = false;
    if (!readFlags(reader, asymmetricMotion, syntax.sampleAdaptiveOffset, pulseCode)
        || (pulseCode && (!reader.bits(8) || !reader.skipGolombs(2) || !reader.bits(1)))) {
        return std::nullopt;
    }
    const int blockBits = int(*smallestBlock + *largestBlock) + 3;
    const std::int64_t across = (std::int64_t(head->width) + (1 << blockBits) - 1) >> blockBits;
    const std::int64_t down = (std::int64_t(head->height) + (1 << blockBits) - 1) >> blockBits;
    if (across * down > (1 << 22)) {
        return std::nullopt;
    }
    syntax.codingTreeBlocks = int(across * down);
    const std::optional<std::uint32_t> sets = reader.golomb();
    if (!sets || *sets > mostReferenceSets) {
        return std::nullopt;
    }
    for (std::uint32_t index = 0; index < *sets; ++index) {
        const std::optional<int> size = readHevcReferenceSet(reader, int(index), syntax.referenceSetSizes, false);
        if (!size) {
            return std::nullopt;
        }
        syntax.referenceSetSizes.push_back(*size);
    }
    if (!readFlags(reader, syntax.longTermReferences)) {
        return std::nullopt;
    }
    if (syntax.longTermReferences) {
        const std::optional<std::uint32_t> longTerm = reader.golomb();
        if (!longTerm || *longTerm > mostLongTermSets) {
            return std::nullopt;
        }
        syntax.longTermSets = int(*longTerm);
        for (int set = 0; set < syntax.longTermSets; ++set) {
            if (!reader.bits(syntax.pictureOrderBits + 1)) {
                return std::nullopt;
            }
        }
    }
    if (!readFlags(reader, syntax.temporalMotionVectors)) {
        return std::nullopt;
    }
    return syntax;
}

std::optional<HevcPictureSyntax> pictureOf(HevcBitReader& reader, std::uint32_t& id)
{
    HevcPictureSyntax syntax;
    const std::optional<std::uint32_t> pictureId = reader.golomb();
    const std::optional<std::uint32_t> sequenceId = reader.golomb();
    if (!pictureId || *pictureId > 63 || !sequenceId || *sequenceId > 15
        || !readFlags(reader, syntax.dependentSlices, syntax.outputFlag)) {
        return std::nullopt;
    }
    id = *pictureId;
    syntax.sequence = *sequenceId;
    const std::optional<std::uint32_t> extraBits = reader.bits(3);
    bool signHiding = false;
    bool cabacInit = false;
    bool constrainedIntra = false;
    bool transformSkip = false;
    bool qpDelta = false;
    // two default reference counts and the initial QP
    if (!extraBits || !readFlags(reader, signHiding, cabacInit) || !reader.skipGolombs(3)
        || !readFlags(reader, constrainedIntra, transformSkip, qpDelta) || (qpDelta && !reader.golomb())) {
        return std::nullopt;
    }
    syntax.extraSliceHeaderBits = int(*extraBits);
    bool weighted = false;
    bool weightedBoth = false;
    bool bypass = false;
    bool tiles = false;
    bool wavefronts = false;
    // cb and cr offsets
    if (!reader.skipGolombs(2)
        || !readFlags(reader, syntax.chromaOffsets, weighted, weightedBoth, bypass, tiles, wavefronts)) {
        return std::nullopt;
    }
    syntax.entryPoints = tiles || wavefronts;
    if (tiles) {
        const std::optional<std::uint32_t> columns = reader.golomb();
        const std::optional<std::uint32_t> rows = reader.golomb();
        bool uniform = false;
        bool acrossTiles = false;
        if (!columns || !rows || *columns > 64 || *rows > 64 || !readFlags(reader, uniform)
            || (!uniform && !reader.skipGolombs(int(*columns + *rows))) || !readFlags(reader, acrossTiles)) {
            return std::nullopt;
        }
    }
    bool deblockingControl = false;
    if (!readFlags(reader, syntax.loopFilterAcrossSlices, deblockingControl)) {
        return std::nullopt;
    }
    if (deblockingControl
        && (!readFlags(reader, syntax.deblockingOverride, syntax.deblockingDisabled)
            || (!syntax.deblockingDisabled && !reader.skipGolombs(2)))) {
        return std::nullopt;
    }
    bool scalingLists = false;
    bool listsModified = false;
    bool extensions = false;
    if (!readFlags(reader, scalingLists) || (scalingLists && !skipHevcScalingLists(reader))
        || !readFlags(reader, listsModified) || !reader.golomb()
        || !readFlags(reader, syntax.headerExtension, extensions)) {
        return std::nullopt;
    }
    if (extensions) {
        bool range = false;
        bool multilayer = false;
        bool threeD = false;
        if (!readFlags(reader, range, multilayer, threeD, syntax.screenContent) || !reader.bits(4)) {
            return std::nullopt;
        }
        bool crossComponent = false;
        if (range
            && ((transformSkip && !reader.golomb())
                || !readFlags(reader, crossComponent, syntax.chromaOffsetList))) {
            return std::nullopt;
        }
        // Extensions for layers and depth change no base-layer slice header.
        syntax.screenContent = syntax.screenContent || multilayer || threeD;
    }
    return syntax;
}

} // namespace

std::optional<int> readHevcReferenceSet(HevcBitReader& reader, int index, const std::vector<int>& sizes,
                                        bool inSlice)
{
    bool predicted = false;
    if (index != 0 && !readFlags(reader, predicted)) {
        return std::nullopt;
    }
    if (predicted) {
        const std::optional<std::uint32_t> distance
            = inSlice ? reader.golomb() : std::optional<std::uint32_t>(0);
        if (!distance || *distance >= std::uint32_t(index) || index > int(sizes.size()) || !reader.bits(1) || !reader.golomb()) {
            return std::nullopt;
        }
        int size = 0;
        for (int picture = 0; picture <= sizes[std::size_t(index - 1 - int(*distance))]; ++picture) {
            bool used = false;
            bool kept = true;
            if (!readFlags(reader, used) || (!used && !readFlags(reader, kept))) {
                return std::nullopt;
            }
            size += used || kept ? 1 : 0;
        }
        return size <= int(mostPictures) ? std::optional<int>(size) : std::nullopt;
    }
    const std::optional<std::uint32_t> before = reader.golomb();
    const std::optional<std::uint32_t> after = reader.golomb();
    if (!before || !after || *before + *after > mostPictures) {
        return std::nullopt;
    }
    for (std::uint32_t picture = 0; picture < *before + *after; ++picture) {
        if (!reader.golomb() || !reader.bits(1)) {
            return std::nullopt;
        }
    }
    return int(*before + *after);
}

int hevcBitsBelow(std::uint32_t count)
{
    int bits = 0;
    while (bits < 32 && (std::uint64_t(1) << bits) < count) {
        ++bits;
    }
    return bits;
}

void HevcParameterSets::add(QByteArrayView unit)
{
    const int type = hevcUnitType(unit);
    if (type != sequenceParameterSetType && type != pictureParameterSetType) {
        return;
    }
    HevcBitReader reader(hevcPayload(unit));
    std::uint32_t id = 0;
    if (type == sequenceParameterSetType) {
        if (std::optional<HevcSequenceSyntax> syntax = sequenceOf(reader, id)) {
            sequences_[id] = std::move(*syntax);
        }
    } else if (std::optional<HevcPictureSyntax> syntax = pictureOf(reader, id)) {
        pictures_[id] = *syntax;
    }
}

const HevcSequenceSyntax* HevcParameterSets::sequence(std::uint32_t id) const
{
    const auto found = sequences_.find(id);
    return found == sequences_.end() ? nullptr : &found->second;
}

const HevcPictureSyntax* HevcParameterSets::picture(std::uint32_t id) const
{
    const auto found = pictures_.find(id);
    return found == pictures_.end() ? nullptr : &found->second;
}

} // namespace pivra
