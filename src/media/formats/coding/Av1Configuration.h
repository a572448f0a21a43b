#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace pivra {

// The largest frame an AV1 stream codes, as its sequence header says
// (max_frame_width and max_frame_height): no frame of the stream is larger,
// and a still image (an AVIF) is exactly that size but for a rare override.
struct Av1PictureSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The size of the first sequence header among `obus` (low-overhead OBUs,
// each with its size, as an AVIF's configuration record ('av1C') and its
// data hold them); nothing when there is none, or it ends before its size.
std::optional<Av1PictureSize> av1PictureSize(QByteArrayView obus);

// An 'av1C' record's samples: the chroma format as HEVC numbers it (0
// monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4) and the bit depth; nothing for a
// record shorter than its fixed fields.
struct Av1Samples {
    int chromaFormat = 1;
    int bitDepth = 8;
};
std::optional<Av1Samples> av1Samples(QByteArrayView record);

// The configuration OBUs an 'av1C' record carries after its four fixed bytes.
QByteArrayView av1ConfigurationObus(QByteArrayView record);

} // namespace pivra
