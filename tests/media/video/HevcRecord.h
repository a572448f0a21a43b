#pragma once

#include "media/video/VideoDecoder.h"
#include "support/files/VideoMaker.h"

#include <QByteArray>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavformat/avformat.h>
}

namespace pivra::test {

// Makes a small HEVC clip of `size` at `path`, coded by libx265 with or
// without wavefronts, and answers its 'hvcC' record as the container keeps
// it; empty when the clip cannot be made.
inline QByteArray hevcRecord(const QString& path, bool wavefronts, QSize size = {320, 240})
{
    VideoFields fields;
    fields.codec = VideoCodec::hevc;
    fields.wavefronts = wavefronts;
    fields.size = size;
    const std::unique_ptr<VideoDecoder> decoder = makeVideo(path, fields) ? VideoDecoder::open(path) : nullptr;
    const AVCodecParameters* track = decoder ? decoder->stream()->codecpar : nullptr;
    return track ? QByteArray(reinterpret_cast<const char*>(track->extradata), track->extradata_size) : QByteArray();
}

} // namespace pivra::test
