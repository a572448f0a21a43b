#include "media/video/PreviewClip.h"

#include "media/video/VideoDecoder.h"
#include "media/video/VideoError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace pivra {

namespace {

constexpr int longestSide = 640;               // pixels: the clip's longer side at most
constexpr double longestSeconds = 3.0;         // of the video's start
constexpr double keyFrameSeconds = 1.0;        // key frames at most this far apart
constexpr std::int64_t bitRate = 450'000;      // bits per second, on average
constexpr AVRational fallbackFrameRate{30, 1}; // for a track that declares none
// Decoding threads per clip: decoding is most of a 4K HEVC clip's work, and
// each frame thread holds decoded frames of its own (12 MB each at 4K): one
// 4K HEVC decoder held 113 MB with one thread, 131 MB with two and 200 MB
// with four. Clips are made two at a time; with four threads each, the
// preparation of a library's clips peaked 120 MB higher and ended only 8%
// sooner than with two. FFmpeg's own choice of one per core was faster alone
// but slower side by side.
constexpr int decodingThreads = 2;
// x265 runs on the processor, several clips side by side: each encoder keeps
// to a small pool and one frame thread instead of a pool per core. At this
// bit rate "veryfast" draws visibly finer than "ultrafast" for twice the
// time, about a second of processor per clip, and "faster" adds nothing to
// it. Closed groups of pictures make every key frame a point a player can
// start from. Key frames are placed by time (see ClipWriter), as IDR frames;
// x265's own, by its frame count or at a scene cut, only come in between.
constexpr const char* x265Preset = "veryfast";
constexpr const char* x265Params = "log-level=error:open-gop=0:pools=2:frame-threads=1";

[[noreturn]] void fail(VideoError::Kind kind)
{
    throw VideoError(kind);
}

void require(bool done)
{
    if (!done) {
        fail(VideoError::Kind::writeFailed);
    }
}

struct Release {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
    void operator()(AVFormatContext* output) const
    {
        avio_closep(&output->pb);
        avformat_free_context(output);
    }
};
template <typename Type>
using Owned = std::unique_ptr<Type, Release>;

// Scales, encodes and writes the frames of one clip, in the order they are
// shown. The encoder's time base is the source track's, so frame times need
// no conversion beyond moving the first to 0.
//
// Frames come at any rate (phones lower theirs in dim light), so a count of
// frames measures no time: each frame is held until the next one's time is
// known, which gives its length (the last one lasts until the clip's end)
// and whether it must be a key frame, so that none is more than a second
// from the next key frame or from the end.
class ClipWriter {
public:
    ClipWriter(const QString& destination, const VideoDecoder& source, QSize size, double seconds);

    // Adds a frame shown `seconds` after the clip's start.
    void add(const AVFrame& frame, double seconds);
    // Writes out what the encoder still holds and the index; fails when no
    // frame reached the file.
    void finish();

private:
    void openEncoder(const VideoDecoder& source, QSize size);
    void openOutput(const QString& destination, const AVStream& source);
    // Encodes the held picture, which is shown until `next`.
    void send(std::int64_t next);
    // Encodes a picture, or the end when null, and writes the packets that
    // come out, each once the next is out.
    void encode(const AVFrame* picture);
    void write(AVPacket& packet);

    Owned<AVCodecContext> encoder_;
    Owned<AVFormatContext> output_;
    Owned<SwsContext> scaler_;
    Owned<AVFrame> picture_{av_frame_alloc()}; // the frame held, scaled
    Owned<AVPacket> packet_{av_packet_alloc()};
    Owned<AVPacket> unwritten_{av_packet_alloc()}; // the last packet out, once firstDts_ is set
    AVStream* stream_ = nullptr;
    // In the encoder's time base:
    std::int64_t end_ = 0; // the clip's end
    std::int64_t keyFrameTicks_ = 1;
    std::int64_t lastPts_ = -1; // the frame held, when holding_
    std::optional<std::int64_t> lastKey_;
    std::map<std::int64_t, std::int64_t> lengths_; // of the frames sent whose packets are not out, by time
    std::optional<std::int64_t> firstDts_;
    bool holding_ = false;
};

ClipWriter::ClipWriter(const QString& destination, const VideoDecoder& source, QSize size, double seconds)
{
    require(picture_ && packet_ && unwritten_);
    openEncoder(source, size);
    openOutput(destination, *source.stream());
    end_ = std::llround(seconds / av_q2d(encoder_->time_base));
    keyFrameTicks_ = std::llround(keyFrameSeconds / av_q2d(encoder_->time_base));
    picture_->format = encoder_->pix_fmt;
    picture_->width = encoder_->width;
    picture_->height = encoder_->height;
    require(av_frame_get_buffer(picture_.get(), 0) >= 0);
}

void ClipWriter::openEncoder(const VideoDecoder& source, QSize size)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
    require(codec != nullptr);
    encoder_.reset(avcodec_alloc_context3(codec));
    require(encoder_ != nullptr);
    AVCodecContext* encoder = encoder_.get();
    const AVStream* stream = source.stream();
    AVRational rate = source.frameRate();
    if (rate.num <= 0 || rate.den <= 0) {
        rate = fallbackFrameRate;
    }
    encoder->width = size.width();
    encoder->height = size.height();
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = stream->time_base;
    encoder->framerate = rate; // what x265 spreads the bit rate over
    encoder->bit_rate = bitRate;
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The pixels keep their shape and the colours their meaning: scaling and
    // dropping to 8 bits change neither.
    encoder->sample_aspect_ratio =
        stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio : stream->codecpar->sample_aspect_ratio;
    encoder->color_primaries = stream->codecpar->color_primaries;
    encoder->color_trc = stream->codecpar->color_trc;
    encoder->colorspace = stream->codecpar->color_space;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", x265Preset, 0);
    av_dict_set(&options, "x265-params", x265Params, 0);
    av_dict_set(&options, "forced-idr", "1", 0);
    const int opened = avcodec_open2(encoder, codec, &options);
    av_dict_free(&options);
    require(opened >= 0);
}

void ClipWriter::openOutput(const QString& destination, const AVStream& source)
{
    const QByteArray fileName = QFile::encodeName(destination);
    AVFormatContext* output = nullptr;
    require(avformat_alloc_output_context2(&output, nullptr, "mp4", fileName.constData()) >= 0);
    output_.reset(output);
    stream_ = avformat_new_stream(output, nullptr);
    require(stream_ != nullptr && avcodec_parameters_from_context(stream_->codecpar, encoder_.get()) >= 0);
    stream_->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    stream_->time_base = encoder_->time_base;
    stream_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    // The rotation travels as the source's display matrix; players turn the
    // frames, which stay in their stored orientation.
    std::size_t matrixSize = 0;
    if (const std::uint8_t* matrix = av_stream_get_side_data(&source, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize)) {
        std::uint8_t* copy = av_stream_new_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX, matrixSize);
        require(copy != nullptr);
        std::memcpy(copy, matrix, matrixSize);
    }
    require(avio_open(&output->pb, fileName.constData(), AVIO_FLAG_WRITE) >= 0);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int written = avformat_write_header(output, &options);
    av_dict_free(&options);
    require(written >= 0);
}

void ClipWriter::add(const AVFrame& frame, double seconds)
{
    // Frames whose times collide are kept, one tick apart, where a muxer
    // would refuse them.
    const std::int64_t pts = std::max<std::int64_t>(lastPts_ + 1, std::llround(seconds / av_q2d(encoder_->time_base)));
    if (holding_) {
        send(pts);
    }
    // The frame's own size and format, which may change within a track.
    scaler_.reset(sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                       static_cast<AVPixelFormat>(frame.format), picture_->width, picture_->height,
                                       static_cast<AVPixelFormat>(picture_->format), SWS_BILINEAR, nullptr, nullptr,
                                       nullptr));
    // The encoder may still hold the last picture: a new buffer then.
    require(scaler_ != nullptr && av_frame_make_writable(picture_.get()) >= 0);
    require(sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, picture_->data,
                      picture_->linesize)
            > 0);
    picture_->pts = lastPts_ = pts;
    holding_ = true;
}

void ClipWriter::send(std::int64_t next)
{
    const std::int64_t pts = picture_->pts;
    const bool key = !lastKey_ || next - *lastKey_ > keyFrameTicks_;
    if (key) {
        lastKey_ = pts;
    }
    picture_->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    lengths_[pts] = next - pts;
    encode(picture_.get());
}

void ClipWriter::finish()
{
    if (holding_) {
        send(std::max(end_, lastPts_ + 1));
    }
    encode(nullptr);
    if (!firstDts_) {
        fail(VideoError::Kind::writeFailed);
    }
    // A track lasts as long as its samples' lengths add up to, and those are
    // the steps between their decoding times, save the last one's own. With
    // frames reordered, the last decoded is seldom the last shown, so its
    // length is stretched to close the track at the clip's end.
    unwritten_->duration = std::max(unwritten_->duration, end_ - (unwritten_->dts - *firstDts_));
    write(*unwritten_);
    require(av_write_trailer(output_.get()) >= 0 && avio_closep(&output_->pb) >= 0);
}

void ClipWriter::encode(const AVFrame* picture)
{
    require(avcodec_send_frame(encoder_.get(), picture) >= 0);
    while (true) {
        const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        require(received >= 0);
        // x265 gives packets no length: each lasts as long as its frame is shown.
        const auto length = lengths_.extract(packet_->pts);
        require(!length.empty());
        packet_->duration = length.mapped();
        if (firstDts_) {
            write(*unwritten_);
        } else {
            firstDts_ = packet_->dts;
        }
        av_packet_move_ref(unwritten_.get(), packet_.get());
    }
}

void ClipWriter::write(AVPacket& packet)
{
    av_packet_rescale_ts(&packet, encoder_->time_base, stream_->time_base);
    packet.stream_index = stream_->index;
    require(av_interleaved_write_frame(output_.get(), &packet) >= 0);
}

} // namespace

QSize previewClipSize(QSize natural)
{
    const int longest = std::max(natural.width(), natural.height());
    // In whole numbers, where 641 × 640 / 641 is exactly 640; halving the
    // truncated product and truncating again rounds as the real one would.
    const auto side = [longest](int length) {
        const int scaled = longest > longestSide ? static_cast<int>(std::int64_t{length} * longestSide / longest)
                                                 : length;
        return std::max(2, scaled / 2 * 2);
    };
    return {side(natural.width()), side(natural.height())};
}

double previewClipSeconds(std::optional<double> duration)
{
    return duration && std::isfinite(*duration) ? std::min(*duration, longestSeconds) : longestSeconds;
}

void encodePreviewClip(const QString& source, const QString& destination)
{
    encodePreviewClip(openVideoInput(source), destination);
}

void encodePreviewClip(VideoInput source, const QString& destination)
{
    const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(std::move(source), decodingThreads);
    if (decoder == nullptr) {
        fail(VideoError::Kind::corruptFile);
    }
    const double limit = previewClipSeconds(decoder->duration());
    // The first frame is decoded before the file is created, so a video
    // without one leaves nothing behind.
    double first = 0;
    const AVFrame* frame = decoder->nextFrame(first);
    if (frame == nullptr || first >= limit) {
        fail(VideoError::Kind::corruptFile);
    }
    ClipWriter writer(destination, *decoder, previewClipSize(decoder->naturalSize()), limit - first);
    double seconds = first;
    do {
        writer.add(*frame, seconds - first);
    } while ((frame = decoder->nextFrame(seconds)) != nullptr && seconds < limit);
    // A file that breaks off within the clip's time gives no clip: one that
    // stopped early would pass for the whole start of the video.
    if (frame == nullptr && decoder->failed()) {
        fail(VideoError::Kind::corruptFile);
    }
    writer.finish();
    if (QFileInfo(destination).size() == 0) {
        fail(VideoError::Kind::writeFailed);
    }
}

} // namespace pivra
