#pragma once

#include <QByteArray>

struct heif_context;
struct heif_encoder;

namespace pivra::test {

// An HEVC encoder for libheif that codes a picture whose rows of coding
// blocks are all alike (one of one colour, say) in the time libx265 takes
// for its top: libx265 codes the top 64 rows in slices of a row of blocks
// each, and every row of the picture is then the first row's slice, which
// starts afresh and looks at no row above, under its own address. The
// decoder holds and decodes the whole picture, as it does libx265's coding
// of it: a 48-MP fixture takes some 0.1 s instead of 6 to 15 s of processor
// time. Rows unlike the top are not seen.
//
// The picture's sides must be multiples of 8, and its height one of a
// block's. Answers an encoder to pass to heif_context_encode_image, or none
// when libheif has no HEVC encoder; an encode it cannot do this way fails,
// and the caller codes the picture with libx265 as usual.
heif_encoder* repeatedRowsEncoder(heif_context* context, int quality);

// libheif keeps each slice of a picture as an extent of the item's data of
// its own, and reads no item of more than 32: `file` (a HEIF libheif wrote)
// with each item's extents that follow each other in the file joined into
// one, and the file offsets moved up by the bytes that saves.
QByteArray withJoinedExtents(const QByteArray& file);

} // namespace pivra::test
