#pragma once

#include <QByteArrayView>

namespace pivra {

// Whether an HEVC stream, by its decoder configuration record ('hvcC', the
// codec data of an MP4 or MOV track), is coded in wavefronts: each of its
// picture parameter sets has entropy coding synchronised row by row, so the
// rows of one picture decode side by side. False for a record that is not
// whole, has no picture parameter set, or one without wavefronts.
bool hevcCodedInWavefronts(QByteArrayView record);

} // namespace pivra
