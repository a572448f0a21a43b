#pragma once

#include <QByteArray>
#include <QMap>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

namespace pivra::test {

// The video codec of a fixture clip. H.264 and HEVC go through libx264 and
// libx265 at their fastest preset, tagged 'avc1' and 'hvc1' in MP4 and MOV.
enum class VideoCodec { mpeg4, h264, hevc };

// What a fixture clip carries. Every frame shows which way is up and moves:
// it is grey, with red on the quarter that is on top once the display
// rotation is applied and a black block (movingBlock) that steps right frame
// by frame in the stored picture, below its middle. QuickTime metadata (make, model,
// location, content identifier, creation date) is written into the `mdta`
// key list, as an iPhone writes it; `userData` entries go out under FFmpeg's
// own tag names ("location", "make"…), which the muxer writes into the
// classic `udta` atoms as an Android phone does.
struct VideoFields {
    QSize size{320, 240};  // stored frame size
    int frames = 5;
    int framesPerSecond = 25;
    int frameTicks = 1; // 1/framesPerSecond steps from one frame to the next: more holds each picture longer
    int lastFrameTicks = 0; // MP4/MOV: the last picture held this many steps instead, as a screen recording holds it
    VideoCodec codec = VideoCodec::mpeg4; // MPEG-2 regardless in a program stream (".mpg")
    bool grain = false;     // fixed noise over the picture, so it costs what a filmed one does to code
    bool wavefronts = true; // HEVC: rows coded to decode side by side, as libx265 does unless told not to
    bool closedGops = false; // HEVC: every key frame starts afresh (IDR); libx265 leaves all but the first open
    QByteArray x265Parameters; // HEVC: more of libx265's own, "slices=4:sao=0"
    bool withAudio = false; // a silent track as long as the pictures beside them
    bool audioOnly = false; // one second of silence instead of pictures (MOV only)
    int rotation = 0;       // clockwise quarter turns in degrees, as a display matrix
    bool indexFirst = false; // MP4/MOV: the index ahead of the pictures, as a copy made for streaming has it
    bool fragmented = false; // MP4/MOV: in fragments of a key frame's group each, their index in each, as live recorders write
    std::optional<QSize> pixelAspect;    // one pixel's width:height (12:11), in the container only
    std::optional<QString> creationTime; // the container's own date, "2023-07-14T16:05:09Z"
    std::optional<QString> make;
    std::optional<QString> model;
    std::optional<QString> location;          // ISO 6709, "+37.3349-122.0090+000.000/"
    std::optional<QString> contentIdentifier; // the Live Photo pairing
    std::optional<QString> creationDate;      // QuickTime's, "2023-07-14T18:05:09+0200"
    QMap<QString, QString> userData;
};

// Where the black block of frame `index` is in the stored picture of `size`.
QRect movingBlock(QSize size, int index);

// Writes a real clip with libavformat and libavcodec; the container follows
// the extension (".mov", ".mp4", ".avi", ".mpg", ".mts"). Sound is AAC, but PCM
// in a program stream and in an audio-only clip.
// Answers false when anything fails.
bool makeVideo(const QString& path, const VideoFields& fields = {});

} // namespace pivra::test
