#include "media/video/VideoDecoder.h"

#include "media/formats/coding/HevcConfiguration.h"
#include "media/formats/coding/HevcOpenKeyFrame.h"
#include "media/formats/coding/HevcParameterSets.h"
#include "media/video/MadeUpPictures.h"

#include <QByteArray>

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace pivra {

std::unique_ptr<VideoDecoder> VideoDecoder::open(const QString& path, int threads, Threading threading)
{
    return open(openVideoInput(path), threads, threading);
}

std::unique_ptr<VideoDecoder> VideoDecoder::open(VideoInput opened, int threads, Threading threading)
{
    std::unique_ptr<VideoDecoder> decoder(new VideoDecoder);
    decoder->input_ = std::move(opened);
    AVFormatContext* input = decoder->input_.get();
    if (input == nullptr || avformat_find_stream_info(input, nullptr) < 0) {
        return nullptr;
    }
    decoder->stream_ = firstVideoStream(input);
    if (decoder->stream_ == nullptr) {
        return nullptr;
    }
    // Packets of the other tracks are dropped by the demuxer instead of read
    // and thrown away here.
    for (unsigned index = 0; index < input->nb_streams; ++index) {
        if (input->streams[index] != decoder->stream_) {
            input->streams[index]->discard = AVDISCARD_ALL;
        }
    }
    const AVCodec* codec = avcodec_find_decoder(decoder->stream_->codecpar->codec_id);
    if (codec == nullptr) {
        return nullptr;
    }
    decoder->codec_ = avcodec_alloc_context3(codec);
    decoder->packet_ = av_packet_alloc();
    decoder->frame_ = av_frame_alloc();
    if (decoder->codec_ == nullptr || decoder->packet_ == nullptr || decoder->frame_ == nullptr
        || avcodec_parameters_to_context(decoder->codec_, decoder->stream_->codecpar) < 0) {
        return nullptr;
    }
    decoder->codec_->thread_count = threads;
    if (threading == Threading::slices) {
        decoder->codec_->thread_type = FF_THREAD_SLICE;
        if (codec->id == AV_CODEC_ID_HEVC) {
            decoder->madeUp_ = std::make_unique<MadeUpPictures>(*decoder->codec_);
            decoder->readHevcConfiguration();
        }
    }
    decoder->codec_->pkt_timebase = decoder->stream_->time_base;
    if (avcodec_open2(decoder->codec_, codec, nullptr) < 0 || decoder->codec_->width <= 0
        || decoder->codec_->height <= 0) {
        return nullptr;
    }
    return decoder;
}

VideoDecoder::~VideoDecoder()
{
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
}

void VideoDecoder::readHevcConfiguration()
{
    const AVCodecParameters& format = *stream_->codecpar;
    const QByteArrayView record(format.extradata, format.extradata_size);
    const std::optional<int> lengthSize = hevcUnitLengthSize(record);
    auto sets = std::make_unique<HevcParameterSets>();
    if (lengthSize && forEachHevcRecordUnit(record, [&sets](QByteArrayView unit) {
            sets->add(unit);
            return true;
        })) {
        hevcSets_ = std::move(sets);
        hevcLengthSize_ = *lengthSize;
    }
}

void VideoDecoder::refreshHeldKeyFrame()
{
    if (!hevcSets_) {
        return;
    }
    const std::optional<QByteArray> refresh
        = hevcOpenKeyFrameAsIdr(QByteArrayView(packet_->data, packet_->size), hevcLengthSize_, *hevcSets_);
    AVPacket* rewritten = refresh ? av_packet_alloc() : nullptr;
    if (rewritten != nullptr && av_new_packet(rewritten, int(refresh->size())) == 0
        && av_packet_copy_props(rewritten, packet_) == 0) {
        std::memcpy(rewritten->data, refresh->constData(), std::size_t(refresh->size()));
        av_packet_unref(packet_);
        av_packet_move_ref(packet_, rewritten);
    }
    av_packet_free(&rewritten);
}

int VideoDecoder::send(const AVPacket* packet)
{
    if (madeUp_) {
        madeUp_->nextCall(packet != nullptr && (packet->flags & AV_PKT_FLAG_KEY) != 0);
    }
    return avcodec_send_packet(codec_, packet);
}

int VideoDecoder::receive()
{
    if (madeUp_) {
        madeUp_->nextCall(false);
    }
    return avcodec_receive_frame(codec_, frame_);
}

QSize VideoDecoder::naturalSize() const
{
    return {codec_->width, codec_->height};
}

int VideoDecoder::rotation() const
{
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (matrix == nullptr) {
        return 0;
    }
    // FFmpeg answers counter-clockwise degrees; a matrix that is no quarter
    // turn is taken as the nearest one.
    const double counterClockwise = av_display_rotation_get(matrix);
    if (!std::isfinite(counterClockwise)) {
        return 0;
    }
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

std::optional<double> VideoDecoder::duration() const
{
    const AVFormatContext* input = input_.get();
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0) {
        return static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
        return stream_->duration * av_q2d(stream_->time_base);
    }
    return std::nullopt;
}

AVRational VideoDecoder::frameRate() const
{
    return av_guess_frame_rate(input_.get(), stream_, nullptr);
}

std::int64_t VideoDecoder::timestampOf(double seconds) const
{
    const std::int64_t start = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;
    return start + static_cast<std::int64_t>(std::llround(seconds / av_q2d(stream_->time_base)));
}

bool VideoDecoder::moveTo(std::int64_t timestamp)
{
    if (av_seek_frame(input_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    avcodec_flush_buffers(codec_);
    av_packet_unref(packet_);
    held_ = false;
    draining_ = false;
    failed_ = false;
    return true;
}

bool VideoDecoder::seek(double seconds)
{
    return moveTo(timestampOf(seconds));
}

bool VideoDecoder::seekToKeyFrameNear(double seconds, double tolerance)
{
    // The last key frame up to the latest time that will do: when even that
    // one is too early, there is none within the tolerance.
    if (!moveTo(timestampOf(seconds + tolerance)) || !holdNextPacket()
        || (packet_->flags & AV_PKT_FLAG_KEY) == 0) {
        return false;
    }
    const std::int64_t stamp = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
    return stamp != AV_NOPTS_VALUE && stamp >= timestampOf(seconds - tolerance);
}

bool VideoDecoder::holdNextPacket()
{
    while (!held_) {
        const int read = av_read_frame(input_.get(), packet_);
        if (read < 0) {
            failed_ = failed_ || read != AVERROR_EOF;
            return false;
        }
        if (packet_->stream_index == stream_->index) {
            held_ = true;
        } else {
            av_packet_unref(packet_);
        }
    }
    return true;
}

void VideoDecoder::sendHeldPacket()
{
    // A damaged packet is skipped: the next key frame decodes again.
    send(packet_);
    // A file cut off inside a packet ends as any other, after that packet,
    // which the demuxer marks as short: the last one decides.
    failed_ = (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0;
    av_packet_unref(packet_);
    held_ = false;
}

const AVFrame* VideoDecoder::keyFrameAlone(double& seconds)
{
    if (!draining_ && holdNextPacket()) {
        if ((packet_->flags & AV_PKT_FLAG_KEY) != 0) {
            refreshHeldKeyFrame();
            sendHeldPacket();
        } else {
            av_packet_unref(packet_);
            held_ = false;
        }
    }
    draining_ = true;
    send(nullptr);
    return nextFrame(seconds);
}

const AVFrame* VideoDecoder::nextFrame(double& seconds)
{
    while (true) {
        const int received = receive();
        if (received == 0) {
            const std::int64_t start = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;
            const std::int64_t stamp = frame_->best_effort_timestamp == AV_NOPTS_VALUE ? start
                                                                                       : frame_->best_effort_timestamp;
            seconds = static_cast<double>(stamp - start) * av_q2d(stream_->time_base);
            return frame_;
        }
        if (received != AVERROR(EAGAIN) || draining_) {
            failed_ = failed_ || received != AVERROR_EOF;
            return nullptr; // the end, or a decoder that cannot go on
        }
        // The decoder wants input: the next packet of the track, or at the
        // end of the file nothing, which makes it give out what it holds.
        if (holdNextPacket()) {
            sendHeldPacket();
        } else {
            draining_ = true;
            send(nullptr);
        }
    }
}

} // namespace pivra
