#include "media/video/VideoInput.h"

#include "media/MediaFile.h"
#include "media/MediaLibraries.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <cstdio>

namespace pivra {

namespace {

constexpr const char* probeSize = "2097152";       // bytes read to detect the streams
constexpr const char* analyzeDuration = "1000000"; // microseconds analysed when the header is not enough
constexpr int sourceBufferBytes = 262144;          // one device read's worth

// What FFmpeg's callbacks reach a VideoByteSource through.
struct SourceReader {
    std::unique_ptr<VideoByteSource> source;
    std::int64_t position = 0;

    static int read(void* opaque, std::uint8_t* buffer, int length)
    {
        auto& reader = *static_cast<SourceReader*>(opaque);
        if (reader.position >= reader.source->size()) {
            return AVERROR_EOF;
        }
        const int count = reader.source->read(reader.position, buffer, length);
        if (count < 0) {
            return AVERROR(EIO);
        }
        if (count == 0) {
            return AVERROR_EOF;
        }
        reader.position += count;
        return count;
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto& reader = *static_cast<SourceReader*>(opaque);
        const std::int64_t size = reader.source->size();
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: break;
        case SEEK_CUR: offset += reader.position; break;
        case SEEK_END: offset += size; break;
        default: return AVERROR(EINVAL);
        }
        if (offset < 0) {
            return AVERROR(EINVAL);
        }
        reader.position = offset;
        return offset;
    }
};

// A local file read as the bytes of a video, so that it is read through the
// descriptor opened and checked once, never past the size seen then.
class FileBytes final : public VideoByteSource {
public:
    explicit FileBytes(MediaFile file) : file_(std::move(file)) {}

    std::int64_t size() const override { return file_.size(); }
    int read(std::int64_t offset, std::uint8_t* buffer, int length) override
    {
        return int(file_.read(offset, buffer, length));
    }

private:
    MediaFile file_;
};

void freeSourceIO(AVIOContext* io)
{
    if (io != nullptr) {
        delete static_cast<SourceReader*>(io->opaque);
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

// Opens `context` (allocated, maybe with its own I/O) as `url`. FFmpeg picks
// the demuxer by probing the first bytes; the name's extension only adds to
// the score of the formats it names, so a file whose name misleads (an MP4
// named ".m4v", which FFmpeg's raw MPEG-4 demuxer claims) still opens as
// what it holds.
VideoInput openContext(AVFormatContext* context, const QByteArray& url)
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", probeSize, 0);
    av_dict_set(&options, "analyzeduration", analyzeDuration, 0);
    const int status = avformat_open_input(&context, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (status < 0) {
        return nullptr; // avformat_open_input frees the context on failure, though not its own I/O
    }
    return VideoInput(context);
}

} // namespace

void VideoInputCloser::operator()(AVFormatContext* context) const
{
    AVIOContext* io = context->flags & AVFMT_FLAG_CUSTOM_IO ? context->pb : nullptr;
    avformat_close_input(&context);
    freeSourceIO(io);
}

VideoInput openVideoInput(const QString& path)
{
    if (path.startsWith(QLatin1String("http://"))) {
        initializeMediaLibraries();
        return openContext(nullptr, path.toUtf8());
    }
    std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return nullptr;
    }
    return openVideoInput(std::make_unique<FileBytes>(std::move(*file)), path);
}

VideoInput openVideoInput(std::unique_ptr<VideoByteSource> source, const QString& name)
{
    initializeMediaLibraries();
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(sourceBufferBytes));
    if (buffer == nullptr) {
        return nullptr;
    }
    auto* reader = new SourceReader{std::move(source)};
    AVIOContext* io =
        avio_alloc_context(buffer, sourceBufferBytes, 0, reader, &SourceReader::read, nullptr, &SourceReader::seek);
    AVFormatContext* context = io != nullptr ? avformat_alloc_context() : nullptr;
    if (context == nullptr) {
        if (io == nullptr) {
            delete reader;
            av_free(buffer);
        }
        freeSourceIO(io);
        return nullptr;
    }
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    VideoInput input = openContext(context, QFile::encodeName(name));
    if (input == nullptr) {
        freeSourceIO(io);
    }
    return input;
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
