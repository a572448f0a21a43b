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
        const AVIndexEntry* last = avformat_index_get_entry(stream, samples - 1);
        const std::int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
        const double seconds = double(last->timestamp - start) * av_q2d(stream->time_base);
        longest = std::max(longest.value_or(0.0), seconds);
    }
    return longest;
}

} // namespace pivra
