#include "media/video/StreamsLength.h"

#include "media/video/VideoInput.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>

namespace pivra {

std::optional<double> streamsLength(const QString& path)
{
    const VideoInput input = openVideoInput(path);
    if (!input) {
        return std::nullopt;
    }
    std::optional<double> longest;
    for (unsigned index = 0; index < input->nb_streams; ++index) {
        AVStream* stream = input->streams[index];
        const AVMediaType type = stream->codecpar->codec_type;
        const int samples = avformat_index_get_entries_count(stream);
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
            || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0 || samples < 1) {
            continue;
        }
        // The index tells where samples are decoded, not how long they
        // last: the stream lasts from its first sample, which a picture put
        // back in order after later ones is decoded ahead of, to its last
        // sample's end, taken as long as the one before it.
        const std::int64_t first = avformat_index_get_entry(stream, 0)->timestamp;
        const std::int64_t last = avformat_index_get_entry(stream, samples - 1)->timestamp;
        const std::int64_t before = avformat_index_get_entry(stream, std::max(samples - 2, 0))->timestamp;
        const std::int64_t ticks = last - first + std::max(last - before, std::int64_t(0));
        // Whole when it is: a length of 10 s reads 0:10, never 0:09.999.
        const double seconds = double(ticks) * stream->time_base.num / stream->time_base.den;
        longest = std::max(longest.value_or(0.0), seconds);
    }
    return longest;
}

} // namespace pivra
