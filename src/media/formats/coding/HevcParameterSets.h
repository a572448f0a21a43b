#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace pivra {

// What a slice header's layout depends on, from a sequence parameter set.
struct HevcSequenceSyntax {
    bool separateColourPlanes = false;
    bool chroma = true; // ChromaArrayType is not 0
    int pictureOrderBits = 0;
    int codingTreeBlocks = 0; // in one picture
    // NumDeltaPocs of each short-term reference picture set it holds.
    std::vector<int> referenceSetSizes;
    bool longTermReferences = false;
    int longTermSets = 0;
    bool temporalMotionVectors = false;
    bool sampleAdaptiveOffset = false;
};

// The same, from a picture parameter set.
struct HevcPictureSyntax {
    std::uint32_t sequence = 0; // the id of its sequence parameter set
    bool dependentSlices = false;
    bool outputFlag = false;
    int extraSliceHeaderBits = 0;
    bool chromaOffsets = false; // pps_slice_chroma_qp_offsets_present_flag
    bool chromaOffsetList = false;
    bool deblockingOverride = false;
    bool deblockingDisabled = false;
    bool loopFilterAcrossSlices = false;
    bool entryPoints = false; // tiles or wavefronts
    bool headerExtension = false;
    bool screenContent = false; // its slice headers are not read here
};

// The parameter sets of one HEVC stream by id, as far as slice headers need
// them: those of its configuration record, then those its packets carry.
class HevcParameterSets {
public:
    // Takes a sequence or picture parameter set (its two-byte header first);
    // other units, and sets that cannot be read, are passed over.
    void add(QByteArrayView unit);

    const HevcSequenceSyntax* sequence(std::uint32_t id) const;
    const HevcPictureSyntax* picture(std::uint32_t id) const;

private:
    std::map<std::uint32_t, HevcSequenceSyntax> sequences_;
    std::map<std::uint32_t, HevcPictureSyntax> pictures_;
};

class HevcBitReader;

// st_ref_pic_set(index), read: a sequence's set `index` (the sizes of those
// before it given), or with `index` = `sizes.size()` and `inSlice`, the one a
// slice header codes. Its NumDeltaPocs, or nothing when it cannot be read.
std::optional<int> readHevcReferenceSet(HevcBitReader& reader, int index, const std::vector<int>& sizes,
                                        bool inSlice);

// Bits of a value below `count`: Ceil(Log2(count)).
int hevcBitsBelow(std::uint32_t count);

} // namespace pivra
