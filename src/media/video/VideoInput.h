#pragma once

#include <QString>

#include <cstdint>
#include <memory>

extern "C" {
struct AVFormatContext;
struct AVStream;
}

namespace pivra {

struct VideoInputCloser {
    void operator()(AVFormatContext* context) const;
};
// An opened container (libavformat), closed with its streams and, for one
// read from a VideoByteSource, with the source.
using VideoInput = std::unique_ptr<AVFormatContext, VideoInputCloser>;

// Opens a file's container and reads its header, with a bounded probe: null
// when the file is no regular file (MediaFile.h) or FFmpeg cannot open it.
// An "http://" URL (a stream of the loopback server) is FFmpeg's to fetch. The streams' details may still need
// avformat_find_stream_info.
VideoInput openVideoInput(const QString& path);

// The bytes of a video that is no local file. FFmpeg reads them through
// callbacks, on the thread that opens or decodes the input.
class VideoByteSource {
public:
    virtual ~VideoByteSource() = default;
    // The whole length; reads from it on answer the end.
    virtual std::int64_t size() const = 0;
    // Up to `length` bytes at `offset` into `buffer`: the count read, which
    // may be short, or a negative number when the bytes cannot be had.
    virtual int read(std::int64_t offset, std::uint8_t* buffer, int length) = 0;
};

// Opens a container read from `source`, like openVideoInput(path). `name` is
// the file name: its extension is only a hint to the probe, which goes by
// the content.
VideoInput openVideoInput(std::unique_ptr<VideoByteSource> source, const QString& name);

// The first video track, leaving out cover art, which the mov demuxer shows as
// a video stream with a single attached picture; null when there is none.
AVStream* firstVideoStream(const AVFormatContext* context);

} // namespace pivra
