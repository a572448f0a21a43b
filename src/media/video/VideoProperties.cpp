#include "media/video/VideoProperties.h"

#include "media/video/StreamsLength.h"
#include "media/video/VideoInput.h"
#include "media/video/VideoMetadataKeys.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace pivra {
namespace {

const char* const contentIdentifierTag = "com.apple.quicktime.content.identifier";
const char* const quickTimeCreationTag = "com.apple.quicktime.creationdate";
const char* const containerCreationTag = "creation_time";

std::optional<QString> tag(const AVFormatContext* context, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(context->metadata, key, nullptr, AV_DICT_MATCH_CASE);
    if (!entry || !entry->value) {
        return std::nullopt;
    }
    return QString::fromUtf8(entry->value);
}

// Some containers leave to the stream analysis what their header does not
// say: a program stream (MPEG-PS) announces its streams only in its packets,
// AVI's duration is computed from its index during the analysis, and a
// transport stream keeps a track's size in the bitstream.
bool needsAnalysis(const AVFormatContext* context)
{
    if (context->nb_streams == 0 || context->duration == AV_NOPTS_VALUE) {
        return true;
    }
    const AVStream* video = firstVideoStream(context);
    return video && (video->codecpar->width <= 0 || video->codecpar->height <= 0);
}

// The stored frame size scaled by the sample aspect ratio, then the bounding
// box of that rectangle under the display matrix (the matrix maps (x, y) to
// (a·x + c·y, b·x + d·y), in 16.16 fixed point). The sample aspect ratio is
// the container's (MP4's pasp box, kept on the stream) before the bitstream's,
// which only the stream analysis reads.
void readDisplaySize(AVFormatContext* context, VideoProperties& properties)
{
    AVStream* stream = firstVideoStream(context);
    if (!stream || stream->codecpar->width <= 0 || stream->codecpar->height <= 0) {
        return;
    }
    double width = stream->codecpar->width;
    const double height = stream->codecpar->height;
    const AVRational aspect = av_guess_sample_aspect_ratio(context, stream, nullptr);
    if (aspect.num > 0 && aspect.den > 0) {
        width = width * aspect.num / aspect.den;
    }
    double displayWidth = width;
    double displayHeight = height;
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data && size >= 9 * sizeof(int32_t)) {
        int32_t matrix[9];
        std::memcpy(matrix, data, sizeof matrix);
        const double a = matrix[0] / 65536.0;
        const double b = matrix[1] / 65536.0;
        const double c = matrix[3] / 65536.0;
        const double d = matrix[4] / 65536.0;
        displayWidth = std::fabs(a * width) + std::fabs(c * height);
        displayHeight = std::fabs(b * width) + std::fabs(d * height);
    }
    if (std::isfinite(displayWidth) && std::isfinite(displayHeight) && displayWidth < INT32_MAX
        && displayHeight < INT32_MAX) {
        properties.width = int(displayWidth);
        properties.height = int(displayHeight);
    }
}

// QuickTime writes "2023-07-14T18:05:09+0200"; the container's own field is
// "2023-07-14T16:05:09.000000Z". Qt reads both once the fraction is cut to
// milliseconds.
std::optional<Timestamp> parseDate(QString text)
{
    static const QRegularExpression longFraction(QStringLiteral("(\\.\\d{3})\\d+"));
    text.replace(longFraction, QStringLiteral("\\1"));
    const QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date.toMSecsSinceEpoch() / 1000.0;
}

std::optional<Timestamp> creationDate(const AVFormatContext* context)
{
    for (const char* key : {quickTimeCreationTag, containerCreationTag}) {
        if (const auto text = tag(context, key)) {
            if (const auto date = parseDate(*text)) {
                return date;
            }
        }
    }
    return std::nullopt;
}

std::optional<QString> contentIdentifier(const AVFormatContext* context)
{
    std::optional<QString> identifier = tag(context, contentIdentifierTag);
    if (identifier && identifier->isEmpty()) {
        return std::nullopt;
    }
    return identifier;
}

} // namespace

std::optional<VideoProperties> readVideoProperties(const QString& path)
{
    const VideoInput input = openVideoInput(path);
    if (!input) {
        return std::nullopt;
    }
    if (needsAnalysis(input.get())) {
        avformat_find_stream_info(input.get(), nullptr); // a failure leaves the size unknown
    }
    VideoProperties properties;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(input->metadata, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        if (const auto identifier = platformIdentifier(QString::fromUtf8(entry->key)); identifier && entry->value) {
            properties.commonMetadata.insert(*identifier, QString::fromUtf8(entry->value));
        }
    }
    if (input->duration != AV_NOPTS_VALUE && input->duration >= 0) {
        properties.duration = double(input->duration) / AV_TIME_BASE;
        properties.durationGuessed = input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    }
    properties.creationDate = creationDate(input.get());
    readDisplaySize(input.get(), properties);
    properties.contentIdentifier = contentIdentifier(input.get());
    // Last: where the header states more than the streams hold, their end is
    // read from the file.
    if (const std::optional<double> played = playedLength(*input, properties.duration); played != properties.duration) {
        properties.duration = played;
        properties.durationGuessed = false;
    }
    return properties;
}

std::optional<QString> readContentIdentifier(const QString& path)
{
    const VideoInput input = openVideoInput(path);
    return input ? contentIdentifier(input.get()) : std::nullopt;
}

} // namespace pivra
