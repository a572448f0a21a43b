#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace pivra {

class HevcParameterSets;

// A key frame of an open group (CRA, or BLA), rewritten as the same picture
// coded as an instantaneous refresh (IDR), for a decoder that decodes it
// alone.
//
// Such a key frame names the pictures before it that the leading frames
// after it refer to. A decoder starting there has none of them, and FFmpeg
// makes each one up, grey, with motion tables of its own: four or five for a
// 4K frame coded as libx265 and phones code it, some 30 MB to show one
// picture. Its slices are intra coded: they refer to nothing, and the IDR
// header differs only by leaving out the picture's order count and the list
// of those pictures, so the slice data is kept as it is.
//
// `packet` holds NAL units each after a big-endian length of `lengthSize`
// bytes, as an MP4 or MOV track carries them; the parameter sets it carries
// are added to `sets`. Nothing when the packet holds no such key frame, or
// any unit of it cannot be read: the packet is then decoded as it is.
std::optional<QByteArray> hevcOpenKeyFrameAsIdr(QByteArrayView packet, int lengthSize, HevcParameterSets& sets);

} // namespace pivra
