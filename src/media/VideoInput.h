#pragma once

#include <QString>

#include <memory>

extern "C" {
struct AVFormatContext;
struct AVStream;
}

namespace pivra {

struct VideoInputCloser {
    void operator()(AVFormatContext* context) const;
};
// An opened container (libavformat), closed with its streams.
using VideoInput = std::unique_ptr<AVFormatContext, VideoInputCloser>;

// Opens a file's container and reads its header, with a bounded probe: null
// when FFmpeg cannot open it. The streams' details may still need
// avformat_find_stream_info.
VideoInput openVideoInput(const QString& path);

// The first video track, leaving out cover art, which the mov demuxer shows as
// a video stream with a single attached picture; null when there is none.
AVStream* firstVideoStream(const AVFormatContext* context);

} // namespace pivra
