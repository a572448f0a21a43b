#pragma once

#include "media/pictures/LatestFrameSink.h"
#include "media/pictures/PictureScaler.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QVideoFrame>

#include <mutex>

namespace pivra {

// Turns a decoded video frame into the image a picture paints: converted
// from the frame's own pixel format and colour matrix and scaled in one pass
// with libswscale. Only the part of the picture that is on screen is
// converted, and never at more pixels than the video has there: a video
// zoomed fivefold costs a twenty-fifth of its frame, and the painter
// enlarges it. The image keeps the frame's stored orientation; the painter
// turns it upright as ConvertedFrame says. A frame of a format the scaler
// does not know is converted by Qt, upright, and cut and scaled afterwards.
//
// The target is set from the GUI thread; convert() runs on one other thread
// at a time (the frame thread), which alone owns the scaler state.
class VideoFrameScaler {
public:
    struct Target {
        // The device pixels the whole upright picture covers on screen; as
        // large as the zoom makes it, most of it possibly off screen.
        QSizeF shown;
        // The part of the upright picture on screen, in unit coordinates.
        QRectF part{0, 0, 1, 1};
    };

    VideoFrameScaler();
    ~VideoFrameScaler();

    VideoFrameScaler(const VideoFrameScaler&) = delete;
    VideoFrameScaler& operator=(const VideoFrameScaler&) = delete;

    // Nothing is converted while the shown size or the part is empty.
    void setTarget(const Target& target);
    Target target() const;

    ConvertedFrame convert(const QVideoFrame& frame);

    // The pixel rectangle of `picture` that covers `part` (unit
    // coordinates), grown outwards to multiples of `align` so that chroma
    // planes of subsampled formats start on a whole sample.
    static QRect pixelRect(const QRectF& part, QSize picture, QSize align);
    // A unit rectangle of a stored picture as it lies once the picture is
    // turned clockwise by `turn` degrees (a quarter multiple) and then mirrored.
    static QRectF uprightPart(const QRectF& stored, int turn, bool mirrored);
    // The inverse: where a unit rectangle of the upright picture is stored.
    static QRectF storedPart(const QRectF& upright, int turn, bool mirrored);

private:
    mutable std::mutex lock_;
    Target target_;
    // Bilinear: a playing video is scaled many times a second, to the size
    // it is shown at. Frame thread only.
    PictureScaler scaler_;
};

} // namespace pivra
