#include "media/video/MadeUpPictures.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace pivra {

MadeUpPictures::MadeUpPictures(AVCodecContext& decoder)
    : coded_(av_frame_alloc())
{
    decoder.opaque = this;
    decoder.get_buffer2 = picture;
    // Grain is then described beside the picture rather than added to a
    // picture of its own, which would be asked for after the coded one.
    decoder.export_side_data |= AV_CODEC_EXPORT_DATA_FILM_GRAIN;
}

MadeUpPictures::~MadeUpPictures()
{
    av_frame_free(&coded_);
}

void MadeUpPictures::nextCall(bool sendsKeyFrame)
{
    lends_ = sendsKeyFrame;
    if (coded_ != nullptr) {
        av_frame_unref(coded_);
    }
}

int MadeUpPictures::picture(AVCodecContext* decoder, AVFrame* frame, int flags)
{
    const auto* self = static_cast<MadeUpPictures*>(decoder->opaque);
    AVFrame* coded = self->coded_;
    const bool lending = self->lends_ && coded != nullptr && coded->buf[0] != nullptr
                         && coded->width == frame->width && coded->height == frame->height
                         && coded->format == frame->format;
    if (!lending) {
        const int made = avcodec_default_get_buffer2(decoder, frame, flags);
        if (made == 0 && self->lends_ && coded != nullptr && coded->buf[0] == nullptr) {
            // On failure nothing is lent: the next picture gets its own.
            av_frame_ref(coded, frame);
        }
        return made;
    }
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS; ++plane) {
        if (coded->buf[plane] != nullptr) {
            frame->buf[plane] = av_buffer_ref(coded->buf[plane]);
            if (frame->buf[plane] == nullptr) {
                for (int made = 0; made < plane; ++made) {
                    av_buffer_unref(&frame->buf[made]);
                }
                return AVERROR(ENOMEM);
            }
        }
        frame->data[plane] = coded->data[plane];
        frame->linesize[plane] = coded->linesize[plane];
    }
    frame->extended_data = frame->data;
    return 0;
}

} // namespace pivra
