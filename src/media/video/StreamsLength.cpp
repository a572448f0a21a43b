#include "media/video/StreamsLength.h"

#include "media/video/VideoInput.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <memory>

namespace pivra {
namespace {

// A header stating up to this much more than the streams hold is taken at
// its word: sound primed ahead of the pictures, a last picture shown a
// little longer, the rounding of the movie's time scale.
constexpr double overstatedSlack = 0.5;
// Sound listed a chunk at a time spans its tables' length give or take
// its last chunk, rarely over half a second.
constexpr double chunkSlack = 1.0;
// The packets read back from a stream's last key frame to find where its
// pictures end; a longer last group is left unread, and the header stands.
constexpr int lastGroupLimit = 1024;

double seconds(std::int64_t ticks, AVRational timeBase) { return double(ticks) * timeBase.num / timeBase.den; }

bool measured(const AVStream& stream)
{
    const AVMediaType type = stream.codecpar->codec_type;
    return (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO)
           && (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
}

// How long the samples `stream` indexes last: from its first sample, which a
// picture put back in order after later ones is decoded ahead of, to its
// last sample's end, taken as long as the one before it. The index tells
// where samples are decoded, not how long they last. Counted in the
// stream's ticks first, so that 10 s reads 0:10, never 0:09.999.
double indexedSeconds(AVStream& stream, int samples)
{
    const std::int64_t first = avformat_index_get_entry(&stream, 0)->timestamp;
    const std::int64_t last = avformat_index_get_entry(&stream, samples - 1)->timestamp;
    const std::int64_t before = avformat_index_get_entry(&stream, std::max(samples - 2, 0))->timestamp;
    return seconds(last - first + std::max(last - before, std::int64_t(0)), stream.time_base);
}

// Whether the index of `stream` is the whole of its sample tables: it lists
// as many samples as they count or, for sound the container lists a chunk at
// a time, reaches as far as they last.
bool wholeIndex(const AVStream& stream, int samples, double indexed)
{
    if (stream.nb_frames == samples) {
        return true;
    }
    return stream.codecpar->codec_type == AVMEDIA_TYPE_AUDIO && samples < stream.nb_frames
           && stream.duration != AV_NOPTS_VALUE && stream.duration > 0
           && std::abs(indexed - seconds(stream.duration, stream.time_base)) <= chunkSlack;
}

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// Where the pictures or sound of `stream` end on the movie's time line, by
// the packets from its last key frame on, which the file is read for: the
// latest a packet is shown until. None when they cannot all be read.
std::optional<double> presentedEnd(AVFormatContext& input, AVStream& stream)
{
    const int samples = avformat_index_get_entries_count(&stream);
    int key = samples - 1;
    while (key > 0 && (avformat_index_get_entry(&stream, key)->flags & AVINDEX_KEYFRAME) == 0) {
        --key;
    }
    if (samples - key > lastGroupLimit) {
        return std::nullopt;
    }
    for (unsigned index = 0; index < input.nb_streams; ++index) {
        input.streams[index]->discard = input.streams[index] == &stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const std::int64_t from = avformat_index_get_entry(&stream, key)->timestamp;
    if (av_seek_frame(&input, stream.index, from, AVSEEK_FLAG_BACKWARD) < 0) {
        return std::nullopt;
    }
    const std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) {
        return std::nullopt;
    }
    std::optional<std::int64_t> end;
    int status = 0;
    // Bounded: a seek the demuxer took to an earlier point reads no further.
    for (int read = 0; read <= 2 * lastGroupLimit; ++read) {
        status = av_read_frame(&input, packet.get());
        if (status < 0) {
            break;
        }
        if (packet->stream_index == stream.index && packet->pts != AV_NOPTS_VALUE) {
            end = std::max(end.value_or(packet->pts), packet->pts + std::max(packet->duration, std::int64_t(0)));
        }
        av_packet_unref(packet.get());
    }
    if (status != AVERROR_EOF || !end) {
        return std::nullopt;
    }
    return seconds(*end, stream.time_base);
}

} // namespace

std::optional<double> streamsLength(AVFormatContext& input)
{
    std::optional<double> longest;
    for (unsigned index = 0; index < input.nb_streams; ++index) {
        AVStream& stream = *input.streams[index];
        const int samples = avformat_index_get_entries_count(&stream);
        if (!measured(stream) || (samples < 1 && stream.nb_frames < 1)) {
            continue;
        }
        if (samples < 1) {
            return std::nullopt;
        }
        const double indexed = indexedSeconds(stream, samples);
        if (!wholeIndex(stream, samples, indexed)) {
            return std::nullopt;
        }
        longest = std::max(longest.value_or(0.0), indexed);
    }
    return longest;
}

std::optional<double> streamsLength(const QString& path)
{
    const VideoInput input = openVideoInput(path);
    return input ? streamsLength(*input) : std::nullopt;
}

std::optional<double> playedLength(AVFormatContext& input, std::optional<double> stated)
{
    const std::optional<double> indexed = streamsLength(input);
    if (!indexed || (stated && *indexed >= *stated - overstatedSlack)) {
        return stated;
    }
    std::optional<double> presented;
    for (unsigned index = 0; index < input.nb_streams; ++index) {
        AVStream& stream = *input.streams[index];
        if (!measured(stream) || avformat_index_get_entries_count(&stream) < 1) {
            continue;
        }
        const std::optional<double> end = presentedEnd(input, stream);
        if (!end) {
            return stated;
        }
        presented = std::max(presented.value_or(0.0), *end);
    }
    if (!presented || (stated && *presented >= *stated - overstatedSlack)) {
        return stated;
    }
    return indexed;
}

} // namespace pivra
