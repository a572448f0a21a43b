#pragma once

#include "media/video/VideoInput.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

extern "C" {
#include <libavutil/rational.h>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
}

namespace pivra {

class HevcParameterSets;
class MadeUpPictures;

// Decodes the first video track of a file (not its cover art) with FFmpeg,
// frame by frame, with each frame's time from the track's start. Poster frames
// and preview clips both read videos through it. One instance serves one
// thread; several may decode side by side.
class VideoDecoder {
public:
    // How decoding threads share the work. `frames`: several frames at once
    // where the decoder can (FFmpeg's choice), which suits reading a run of
    // frames, though the first waits until every thread has one. `slices`:
    // the parts of one frame that the encoder made independent (slices, HEVC
    // wavefronts), which suits reading a single frame; an HEVC decoder so
    // threaded gives the pictures it makes up for the earlier pictures a
    // key frame names no memory of their own (MadeUpPictures.h).
    enum class Threading { frames, slices };

    // Opens the file's first video track and its decoder, with `threads`
    // decoding threads (0: FFmpeg chooses); none when the file holds no video
    // track that can be decoded.
    static std::unique_ptr<VideoDecoder> open(const QString& path, int threads = 1,
                                              Threading threading = Threading::frames);
    // The same for an input opened already (a video read through a
    // VideoByteSource), which the decoder then owns.
    static std::unique_ptr<VideoDecoder> open(VideoInput input, int threads = 1,
                                              Threading threading = Threading::frames);
    ~VideoDecoder();

    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // The frame size as stored, before the display rotation.
    QSize naturalSize() const;
    // The display rotation in clockwise degrees, 0, 90, 180 or 270, from the
    // track's display matrix (0 without one).
    int rotation() const;
    // The file's length in seconds (the track's when the file does not say),
    // when it is known. A track may end where its last frame starts, when
    // the file gives that frame no length of its own; the file lasts until
    // the frame's end.
    std::optional<double> duration() const;
    // Frames per second as the track declares or FFmpeg guesses it; 0/1 when
    // neither knows.
    AVRational frameRate() const;
    // The track itself, for what the above does not cover (frame rate, time
    // base, side data).
    const AVStream* stream() const { return stream_; }
    const AVCodecContext* codec() const { return codec_; }

    // Moves to the last key frame at or before `seconds`; false when the file
    // cannot seek there (then the position is unchanged).
    bool seek(double seconds);

    // Moves to the last key frame up to `tolerance` after `seconds`, when it
    // is no more than `tolerance` before them; false when no key frame lies
    // within the tolerance (or the file cannot seek), and then the position
    // is somewhere before `seconds`: seek() again to decode onwards.
    bool seekToKeyFrameNear(double seconds, double tolerance);
    // Decodes the next key frame alone, without the frames after it that a
    // decoder putting frames back in order would wait for and keep beside
    // it; null when there is none. Nothing more comes until the next seek.
    const AVFrame* keyFrameAlone(double& seconds);

    // The next decoded frame and its time in seconds from the track's start;
    // null at the end or when the file cannot be read further. The frame stays
    // valid until the next call.
    const AVFrame* nextFrame(double& seconds);
    // Whether the last null from nextFrame() came from a file that breaks
    // off (its last packet cut short, or a read error) or a decoder that gave
    // up, rather than from the track's end.
    bool failed() const { return failed_; }

private:
    VideoDecoder() = default;

    // The track's time base count of `seconds` from its start.
    std::int64_t timestampOf(double seconds) const;
    // Moves to the last key frame at or before `timestamp`, ready to decode.
    bool moveTo(std::int64_t timestamp);
    // Reads the track's next packet into packet_, unless one is held there
    // already; false at the end or on a read error.
    bool holdNextPacket();
    void sendHeldPacket();
    // Replaces the held packet, an HEVC key frame of an open group, with the
    // same picture as a refresh, so that it decodes alone without pictures
    // made up for those it names.
    void refreshHeldKeyFrame();
    // Sets up hevcSets_ from the track's configuration record, if it has one.
    void readHevcConfiguration();
    // The decoder's calls, each marked for madeUp_.
    int send(const AVPacket* packet);
    int receive();

    VideoInput input_;
    AVStream* stream_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::unique_ptr<MadeUpPictures> madeUp_;
    // The parameter sets of an HEVC track in MP4 or MOV, with the length
    // size of its units; none for other tracks.
    std::unique_ptr<HevcParameterSets> hevcSets_;
    int hevcLengthSize_ = 0;
    bool held_ = false; // packet_ holds the track's next packet, not yet sent
    bool draining_ = false;
    bool failed_ = false;
};

} // namespace pivra
