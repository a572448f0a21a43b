#include "support/VideoMaker.h"

#include <QFile>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

namespace pivra::test {
namespace {

constexpr int framesPerSecond = 25;
constexpr int sampleRate = 8000;
constexpr int samplesPerFrame = 1000;

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

void setTag(AVDictionary** tags, const char* key, const std::optional<QString>& value)
{
    if (value) {
        av_dict_set(tags, key, value->toUtf8().constData(), 0);
    }
}

AVCodecID codecFor(const AVFormatContext* output, const VideoFields& fields)
{
    if (fields.audioOnly) {
        return AV_CODEC_ID_PCM_S16LE;
    }
    // A program stream (".mpg") carries MPEG-2 video, as DVDs and camcorders write it.
    return std::strcmp(output->oformat->name, "mpeg") == 0 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG4;
}

Codec openEncoder(const AVFormatContext* output, const VideoFields& fields)
{
    const AVCodec* encoder = avcodec_find_encoder(codecFor(output, fields));
    if (!encoder) {
        return nullptr;
    }
    Codec codec(avcodec_alloc_context3(encoder));
    if (fields.audioOnly) {
        codec->sample_fmt = AV_SAMPLE_FMT_S16;
        codec->sample_rate = sampleRate;
        av_channel_layout_default(&codec->ch_layout, 1);
        codec->time_base = AVRational{1, sampleRate};
    } else {
        codec->width = fields.size.width();
        codec->height = fields.size.height();
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->time_base = AVRational{1, framesPerSecond};
        codec->gop_size = framesPerSecond;
    }
    if (output->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(codec.get(), encoder, nullptr) < 0) {
        return nullptr;
    }
    return codec;
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

Frame blankFrame(const AVCodecContext* codec, bool audio)
{
    Frame frame(av_frame_alloc());
    if (audio) {
        frame->format = codec->sample_fmt;
        frame->nb_samples = samplesPerFrame;
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
        // Mid grey in every plane: silence for audio, a flat picture for video.
        std::memset(frame->buf[plane]->data, audio ? 0 : 128, frame->buf[plane]->size);
    }
    return frame;
}

bool drain(AVCodecContext* codec, AVFormatContext* output, AVStream* stream)
{
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
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(output, packet.get()) < 0) {
            return false;
        }
    }
}

bool encode(AVCodecContext* codec, AVFormatContext* output, AVStream* stream, const VideoFields& fields)
{
    Frame frame = blankFrame(codec, fields.audioOnly);
    if (!frame) {
        return false;
    }
    const int count = fields.audioOnly ? sampleRate / samplesPerFrame : fields.frames;
    for (int index = 0; index < count; ++index) {
        frame->pts = fields.audioOnly ? int64_t(index) * samplesPerFrame : index;
        if (avcodec_send_frame(codec, frame.get()) < 0 || !drain(codec, output, stream)) {
            return false;
        }
    }
    return avcodec_send_frame(codec, nullptr) >= 0 && drain(codec, output, stream);
}

} // namespace

bool makeVideo(const QString& path, const VideoFields& fields)
{
    const QByteArray fileName = QFile::encodeName(path);
    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, nullptr, fileName.constData()) < 0) {
        return false;
    }
    Output output(rawOutput);
    rawOutput->flags |= AVFMT_FLAG_BITEXACT; // no encoder tag: a clip without metadata has none
    Codec codec = openEncoder(rawOutput, fields);
    AVStream* stream = avformat_new_stream(rawOutput, nullptr);
    if (!codec || !stream || avcodec_parameters_from_context(stream->codecpar, codec.get()) < 0
        || !addRotation(stream, fields.rotation)) {
        return false;
    }
    stream->time_base = codec->time_base;
    if (fields.pixelAspect) {
        // In the container only (MP4's pasp box), not in the bitstream.
        stream->sample_aspect_ratio = AVRational{fields.pixelAspect->width(), fields.pixelAspect->height()};
        stream->codecpar->sample_aspect_ratio = stream->sample_aspect_ratio;
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
        av_dict_set(&options, "movflags", "use_metadata_tags", 0);
    }
    const bool opened = avio_open(&rawOutput->pb, fileName.constData(), AVIO_FLAG_WRITE) >= 0;
    const bool headerWritten = opened && avformat_write_header(rawOutput, &options) >= 0;
    av_dict_free(&options);
    return headerWritten && encode(codec.get(), rawOutput, stream, fields) && av_write_trailer(rawOutput) >= 0;
}

} // namespace pivra::test
