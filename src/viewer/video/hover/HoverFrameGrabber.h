#pragma once

#include "media/pictures/PictureScaler.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

extern "C" {
struct AVFrame;
}

namespace pivra {

class VideoDecoder;

// Small stills of one video file for the scrub bar's hover bubble: the frame
// at a whole second (a key frame within the tolerance, decoded alone, or else
// found by a seek to the key frame before it and decoding forward), upright
// by the track's display rotation and fitted into `maxSize`. The file stays open between requests, so a hover that moves
// along a long video pays for the opening once; release() lets it go, with
// the pictures and motion tables the decoder keeps for the frames it refers
// back to, over 100 MB for a 4K video that plays on meanwhile.
//
// Not thread-safe: one thread at a time (the hover preview's worker).
class HoverFrameGrabber {
public:
    static constexpr QSize maxSize{240, 140};
    // A frame this close to the asked time will do: the key frame the seek
    // lands on is taken when it is within it, which spares decoding forward.
    static constexpr double tolerance = 0.5;

    explicit HoverFrameGrabber(QString path);
    ~HoverFrameGrabber();

    HoverFrameGrabber(const HoverFrameGrabber&) = delete;
    HoverFrameGrabber& operator=(const HoverFrameGrabber&) = delete;

    const QString& path() const { return path_; }

    // The frame shown at `seconds`; null when the file cannot give one.
    QImage frame(double seconds);
    // Closes the file and its decoder; the next frame() opens them again.
    void release();
    // Whether the decoder and its pictures are held (for tests).
    bool holdsDecoder() const { return decoder_ != nullptr; }

private:
    // `found` fitted into maxSize and turned upright.
    QImage still(const AVFrame& found);

    QString path_;
    std::unique_ptr<VideoDecoder> decoder_;
    bool opened_ = false;
    PictureScaler scaler_;
};

} // namespace pivra
