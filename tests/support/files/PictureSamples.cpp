#include "support/files/PictureSamples.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstddef>

namespace pivra::test {

QByteArray samplesOf(const AVFrame& frame)
{
    QByteArray samples;
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        for (int row = 0; row < frame.height >> shift; ++row) {
            samples.append(reinterpret_cast<const char*>(frame.data[plane] + std::ptrdiff_t(row) * frame.linesize[plane]),
                           frame.width >> shift);
        }
    }
    return samples;
}

} // namespace pivra::test
