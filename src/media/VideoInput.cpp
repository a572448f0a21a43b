#include "media/VideoInput.h"

#include "media/MediaLibraries.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
}

namespace pivra {

namespace {

constexpr const char* probeSize = "2097152";       // bytes read to detect the streams
constexpr const char* analyzeDuration = "1000000"; // microseconds analysed when the header is not enough

} // namespace

void VideoInputCloser::operator()(AVFormatContext* context) const
{
    avformat_close_input(&context);
}

VideoInput openVideoInput(const QString& path)
{
    initializeMediaLibraries();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", probeSize, 0);
    av_dict_set(&options, "analyzeduration", analyzeDuration, 0);
    AVFormatContext* context = nullptr;
    const int status = avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (status < 0) {
        return nullptr; // avformat_open_input frees the context on failure
    }
    return VideoInput(context);
}

AVStream* firstVideoStream(const AVFormatContext* context)
{
    for (unsigned index = 0; index < context->nb_streams; ++index) {
        AVStream* stream = context->streams[index];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
            && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            return stream;
        }
    }
    return nullptr;
}

} // namespace pivra
