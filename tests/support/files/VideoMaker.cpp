#include "support/files/VideoMaker.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

namespace pivra::test {
namespace {

constexpr int sampleRate = 48000; // one that every container takes, DVD sound included
constexpr int pcmSamplesPerFrame = 1000;

struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

using Output = std::unique_ptr<AVFormatContext, OutputCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecCloser>;
using Frame = std::unique_ptr<AVFrame, FrameCloser>;
using Packet = std::unique_ptr<AVPacket, PacketCloser>;

// One stream of the clip with its encoder and the frame it sends again and again.
struct Track {
    Codec codec;
    AVStream* stream = nullptr;
    Frame frame;
    std::int64_t sent = 0; // in the encoder's time base
    std::int64_t lastPts = -1; // pictures: the last one's time, in the encoder's time base
    std::int64_t lastDuration = 1;
};

void setTag(AVDictionary** tags, const char* key, const std::optional<QString>& value)
{
    if (value) {
        av_dict_set(tags, key, value->toUtf8().constData(), 0);
    }
}

bool isQuickTime(const AVFormatContext* output)
{
    return std::strcmp(output->oformat->name, "mov") == 0 || std::strcmp(output->oformat->name, "mp4") == 0;
}

// A program stream (".mpg") carries MPEG-2 video and PCM sound, as DVDs and
// camcorders write it.
bool isProgramStream(const AVFormatContext* output)
{
    return std::strcmp(output->oformat->name, "mpeg") == 0;
}

const AVCodec* videoEncoder(const AVFormatContext* output, VideoCodec codec)
{
    if (isProgramStream(output)) {
        return avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    }
    switch (codec) {
    case VideoCodec::h264:
        return avcodec_find_encoder_by_name("libx264");
    case VideoCodec::hevc:
        return avcodec_find_encoder_by_name("libx265");
    case VideoCodec::mpeg4:
        break;
    }
    return avcodec_find_encoder(AV_CODEC_ID_MPEG4);
}

const AVCodec* audioEncoder(const AVFormatContext* output, bool audioOnly)
{
    if (audioOnly) {
        return avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
    }
    return isProgramStream(output) ? avcodec_find_encoder(AV_CODEC_ID_PCM_S16BE) : avcodec_find_encoder_by_name("aac");
}

Codec openEncoder(const AVFormatContext* output, const AVCodec* encoder, const VideoFields& fields)
{
    if (!encoder) {
        return nullptr;
    }
    Codec codec(avcodec_alloc_context3(encoder));
    // Encoders report their settings as they open and close; a fixture's
    // encoder keeps quiet, its failures show as false.
    codec->log_level_offset = AV_LOG_WARNING;
    AVDictionary* options = nullptr;
    if (encoder->type == AVMEDIA_TYPE_AUDIO) {
        codec->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        codec->sample_rate = sampleRate;
        av_channel_layout_default(&codec->ch_layout, 1);
        codec->time_base = AVRational{1, sampleRate};
        codec->bit_rate = 64000;
    } else {
        codec->width = fields.size.width();
        codec->height = fields.size.height();
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->time_base = AVRational{1, fields.framesPerSecond};
        codec->framerate = AVRational{fields.framesPerSecond, 1};
        codec->gop_size = fields.framesPerSecond;
    }
    if (encoder->id == AV_CODEC_ID_H264 || encoder->id == AV_CODEC_ID_HEVC) {
        // Large fixtures in seconds, on no more threads than a test may take.
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(&options, "threads", "4", 0);
        if (encoder->id == AV_CODEC_ID_HEVC) {
            const QByteArray parameters = QByteArrayLiteral("log-level=error:pools=4")
                                          + (fields.wavefronts ? "" : ":wpp=0")
                                          + (fields.closedGops ? ":open-gop=0" : "")
                                          + (fields.x265Parameters.isEmpty() ? QByteArray() : ":" + fields.x265Parameters);
            av_dict_set(&options, "x265-params", parameters.constData(), 0);
        }
        if (fields.grain) {
            av_dict_set(&options, "crf", "20", 0); // x265's default smooths the grain away
        }
    }
    if (output->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const int opened = avcodec_open2(codec.get(), encoder, &options);
    av_dict_free(&options);
    return opened < 0 ? nullptr : std::move(codec);
}

bool addRotation(AVStream* stream, int degrees)
{
    if (degrees == 0) {
        return true;
    }
    auto* matrix = reinterpret_cast<int32_t*>(
        av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
    if (!matrix) {
        return false;
    }
    // The matrix an iPhone writes for a portrait clip (90) reads back from FFmpeg
    // as -90 degrees, which players turn 90 degrees clockwise; this setter
    // gives that matrix for 90.
    av_display_rotation_set(matrix, degrees);
    return true;
}

// Silence for audio; a buffer the picture is painted into for video.
Frame blankFrame(const AVCodecContext* codec)
{
    Frame frame(av_frame_alloc());
    if (codec->codec_type == AVMEDIA_TYPE_AUDIO) {
        frame->format = codec->sample_fmt;
        frame->nb_samples = codec->frame_size > 0 ? codec->frame_size : pcmSamplesPerFrame;
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
    } else {
        frame->format = codec->pix_fmt;
        frame->width = codec->width;
        frame->height = codec->height;
    }
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return nullptr;
    }
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->buf[plane]; ++plane) {
        std::memset(frame->buf[plane]->data, 0, frame->buf[plane]->size);
    }
    return frame;
}

// Sets every sample of `area` in one plane to `value`.
void fill(AVFrame* frame, int plane, QRect area, int value)
{
    for (int row = area.top(); row <= area.bottom(); ++row) {
        std::memset(frame->data[plane] + static_cast<std::ptrdiff_t>(row) * frame->linesize[plane] + area.left(), value,
                    area.width());
    }
}

// The quarter of the stored picture that is on top once it is turned
// `rotation` degrees clockwise, as a phone held sideways stores the scene.
QRect upperQuarter(QSize size, int rotation)
{
    const int rows = size.height() / 8 * 2; // even, so that chroma covers it exactly
    const int columns = size.width() / 8 * 2;
    switch (rotation) {
    case 90:
        return {0, 0, columns, size.height()};
    case 180:
        return {0, size.height() - rows, size.width(), rows};
    case 270:
        return {size.width() - columns, 0, columns, size.height()};
    default:
        return {0, 0, size.width(), rows};
    }
}

// The same noise in every frame, as a sensor's grain on a still scene: a
// few grey levels up or down on each sample.
std::vector<std::int8_t> makeGrain(QSize size)
{
    std::vector<std::int8_t> grain(std::size_t(size.width()) * size.height());
    std::uint32_t state = 2463534242U;
    for (std::int8_t& sample : grain) {
        state ^= state << 13; // xorshift: the same noise on every run
        state ^= state >> 17;
        state ^= state << 5;
        sample = static_cast<std::int8_t>(int(state % 17) - 8);
    }
    return grain;
}

void addGrain(AVFrame* frame, const std::vector<std::int8_t>& grain)
{
    for (int row = 0; row < frame->height; ++row) {
        std::uint8_t* luma = frame->data[0] + static_cast<std::ptrdiff_t>(row) * frame->linesize[0];
        const std::int8_t* noise = grain.data() + std::size_t(row) * frame->width;
        for (int column = 0; column < frame->width; ++column) {
            luma[column] = static_cast<std::uint8_t>(std::clamp(luma[column] + noise[column], 16, 235));
        }
    }
}

// Grey, with the quarter that shows up red and the moving block black
// (YUV 4:2:0, BT.601 video range).
void paint(AVFrame* frame, int index, int rotation)
{
    const QSize size(frame->width, frame->height);
    const QRect red = upperQuarter(size, rotation);
    const QRect chroma(red.left() / 2, red.top() / 2, red.width() / 2, red.height() / 2);
    const QRect whole(QPoint(0, 0), size);
    const QRect wholeChroma(0, 0, (size.width() + 1) / 2, (size.height() + 1) / 2);
    fill(frame, 0, whole, 128);
    fill(frame, 1, wholeChroma, 128);
    fill(frame, 2, wholeChroma, 128);
    fill(frame, 0, red, 81);
    fill(frame, 1, chroma, 90);
    fill(frame, 2, chroma, 240);
    fill(frame, 0, movingBlock(size, index), 16);
}

std::optional<Track> addTrack(AVFormatContext* output, const AVCodec* encoder, const VideoFields& fields)
{
    Track track;
    track.codec = openEncoder(output, encoder, fields);
    track.stream = avformat_new_stream(output, nullptr);
    if (!track.codec || !track.stream
        || avcodec_parameters_from_context(track.stream->codecpar, track.codec.get()) < 0) {
        return std::nullopt;
    }
    track.stream->time_base = track.codec->time_base;
    track.frame = blankFrame(track.codec.get());
    if (!track.frame) {
        return std::nullopt;
    }
    const AVCodecID id = track.codec->codec_id;
    if (isQuickTime(output) && (id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_H264)) {
        // 'hvc1' as phones write HEVC, with its parameter sets in the sample description.
        track.stream->codecpar->codec_tag
            = id == AV_CODEC_ID_HEVC ? MKTAG('h', 'v', 'c', '1') : MKTAG('a', 'v', 'c', '1');
    }
    if (track.codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        track.stream->avg_frame_rate = track.codec->framerate;
        if (!addRotation(track.stream, fields.rotation)) {
            return std::nullopt;
        }
        if (fields.pixelAspect) {
            // In the container only (MP4's pasp box), not in the bitstream.
            track.stream->sample_aspect_ratio = AVRational{fields.pixelAspect->width(), fields.pixelAspect->height()};
            track.stream->codecpar->sample_aspect_ratio = track.stream->sample_aspect_ratio;
        }
    }
    return track;
}

bool drain(Track& track, AVFormatContext* output)
{
    AVCodecContext* codec = track.codec.get();
    AVStream* stream = track.stream;
    Packet packet(av_packet_alloc());
    while (true) {
        const int status = avcodec_receive_packet(codec, packet.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) {
            return true;
        }
        if (status < 0) {
            return false;
        }
        if (packet->duration == 0 && codec->codec_type == AVMEDIA_TYPE_VIDEO) {
            packet->duration = 1; // one frame: else the muxer's edit list leaves the last one out
        }
        if (track.lastPts >= 0 && packet->pts == track.lastPts) {
            packet->duration = track.lastDuration;
        }
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(output, packet.get()) < 0) {
            return false;
        }
    }
}

// Sends one frame, or the end when null, and writes what the encoder gives back.
bool send(Track& track, AVFormatContext* output, const AVFrame* frame)
{
    return avcodec_send_frame(track.codec.get(), frame) >= 0 && drain(track, output);
}

// Sends silence until `until` samples (whole frames, the last cut at `total`).
bool sendAudio(Track& audio, AVFormatContext* output, std::int64_t until, std::int64_t total)
{
    const int frameSize = audio.frame->nb_samples;
    while (audio.sent < std::min(until, total)) {
        audio.frame->pts = audio.sent;
        audio.frame->nb_samples = static_cast<int>(std::min<std::int64_t>(frameSize, total - audio.sent));
        audio.sent += audio.frame->nb_samples;
        if (!send(audio, output, audio.frame.get())) {
            return false;
        }
    }
    audio.frame->nb_samples = frameSize;
    return true;
}

// Video frames with the sound up to each frame's end sent before it, so the
// muxer interleaves as it goes instead of holding a whole track.
bool encode(std::optional<Track>& video, std::optional<Track>& audio, AVFormatContext* output,
            const VideoFields& fields)
{
    const std::int64_t totalSamples
        = fields.audioOnly ? sampleRate
                           : std::int64_t(fields.frames) * fields.frameTicks * sampleRate / fields.framesPerSecond;
    const std::vector<std::int8_t> grain = fields.grain ? makeGrain(fields.size) : std::vector<std::int8_t>();
    if (video && fields.lastFrameTicks > 0) {
        video->lastPts = std::int64_t(fields.frames - 1) * fields.frameTicks;
        video->lastDuration = fields.lastFrameTicks;
    }
    for (int index = 0; video && index < fields.frames; ++index) {
        const std::int64_t frameEnd
            = std::int64_t(index + 1) * fields.frameTicks * sampleRate / fields.framesPerSecond;
        if ((audio && !sendAudio(*audio, output, frameEnd, totalSamples))
            || av_frame_make_writable(video->frame.get()) < 0) {
            return false;
        }
        paint(video->frame.get(), index, fields.rotation);
        if (fields.grain) {
            addGrain(video->frame.get(), grain);
        }
        video->frame->pts = std::int64_t(index) * fields.frameTicks;
        if (!send(*video, output, video->frame.get())) {
            return false;
        }
    }
    return (!audio || (sendAudio(*audio, output, totalSamples, totalSamples) && send(*audio, output, nullptr)))
           && (!video || send(*video, output, nullptr));
}

} // namespace

QRect movingBlock(QSize size, int index)
{
    const int width = std::max(1, size.width() / 8);
    const int left = index * std::max(1, size.width() / 64) % (size.width() - width + 1);
    return {left, size.height() * 5 / 8, width, size.height() / 8};
}

bool makeVideo(const QString& path, const VideoFields& fields)
{
    const QByteArray fileName = QFile::encodeName(path);
    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, nullptr, fileName.constData()) < 0) {
        return false;
    }
    Output output(rawOutput);
    rawOutput->flags |= AVFMT_FLAG_BITEXACT; // no encoder tag: a clip without metadata has none
    if (isProgramStream(rawOutput)) {
        // Small packs, so that nearly every frame starts one and carries its
        // time: readers estimate the length from the last time they find.
        rawOutput->packet_size = 256;
    }
    std::optional<Track> video;
    std::optional<Track> audio;
    if (!fields.audioOnly && !(video = addTrack(rawOutput, videoEncoder(rawOutput, fields.codec), fields))) {
        return false;
    }
    if ((fields.audioOnly || fields.withAudio)
        && !(audio = addTrack(rawOutput, audioEncoder(rawOutput, fields.audioOnly), fields))) {
        return false;
    }
    setTag(&rawOutput->metadata, "creation_time", fields.creationTime);
    setTag(&rawOutput->metadata, "com.apple.quicktime.make", fields.make);
    setTag(&rawOutput->metadata, "com.apple.quicktime.model", fields.model);
    setTag(&rawOutput->metadata, "com.apple.quicktime.location.ISO6709", fields.location);
    setTag(&rawOutput->metadata, "com.apple.quicktime.content.identifier", fields.contentIdentifier);
    setTag(&rawOutput->metadata, "com.apple.quicktime.creationdate", fields.creationDate);
    for (auto entry = fields.userData.cbegin(); entry != fields.userData.cend(); ++entry) {
        setTag(&rawOutput->metadata, entry.key().toUtf8().constData(), entry.value());
    }
    AVDictionary* options = nullptr;
    if (fields.make || fields.model || fields.location || fields.contentIdentifier || fields.creationDate) {
        av_dict_set(&options, "movflags", "+use_metadata_tags", AV_DICT_APPEND);
    }
    if (fields.indexFirst) {
        av_dict_set(&options, "movflags", "+faststart", AV_DICT_APPEND);
    }
    if (fields.fragmented) {
        av_dict_set(&options, "movflags", "+frag_keyframe+empty_moov+global_sidx", AV_DICT_APPEND);
    }
    const bool opened = avio_open(&rawOutput->pb, fileName.constData(), AVIO_FLAG_WRITE) >= 0;
    const bool headerWritten = opened && avformat_write_header(rawOutput, &options) >= 0;
    av_dict_free(&options);
    return headerWritten && encode(video, audio, rawOutput, fields) && av_write_trailer(rawOutput) >= 0;
}

} // namespace pivra::test
