#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <functional>
#include <optional>

namespace pivra {

// Whether an HEVC stream, by its decoder configuration record ('hvcC', the
// codec data of an MP4 or MOV track), is coded in wavefronts: each of its
// picture parameter sets has entropy coding synchronised row by row, so the
// rows of one picture decode side by side. False for a record that is not
// whole, has no picture parameter set, or one without wavefronts.
bool hevcCodedInWavefronts(QByteArrayView record);

// The pictures an HEVC stream codes, as its sequence parameter sets say:
// the decoder holds pictures of the coded size, and hands over the part its
// conformance window keeps.
struct HevcPictureSize {
    std::int64_t codedWidth = 0; // luma samples
    std::int64_t codedHeight = 0;
    std::int64_t width = 0; // the conformance window
    std::int64_t height = 0;
};

// The largest picture among the record's sequence parameter sets; nothing
// for a record that is not whole, has none, or one that ends before its size.
std::optional<HevcPictureSize> hevcPictureSize(QByteArrayView record);

// Whether a NAL unit (its two-byte header first) is a sequence parameter set.
bool isHevcSequenceParameterSet(QByteArrayView unit);
// The picture of one sequence parameter set; nothing when it ends before its size.
std::optional<HevcPictureSize> hevcSequencePictureSize(QByteArrayView unit);

// The bytes of the length before each NAL unit of the stream the record
// configures (1, 2 or 4); nothing for a record shorter than its fixed fields.
std::optional<int> hevcUnitLengthSize(QByteArrayView record);

// Calls `found` with every NAL unit the record holds, in order, until it
// answers false; false when the record is not whole or `found` stopped.
bool forEachHevcRecordUnit(QByteArrayView record, const std::function<bool(QByteArrayView)>& found);

} // namespace pivra
