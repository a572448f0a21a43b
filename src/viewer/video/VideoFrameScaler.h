#pragma once

#include "viewer/video/PictureScaler.h"

#include <QImage>
#include <QSize>
#include <QVideoFrame>

#include <mutex>

namespace pivra {

// Turns a decoded video frame into the image a picture paints 1:1: converted
// from the frame's own pixel format and colour matrix and scaled to fit the
// target box in one pass with libswscale, then turned upright by the frame's
// display rotation and mirroring. A frame of a format the scaler does not
// know is converted by Qt and scaled afterwards.
//
// The target box is set from the GUI thread; convert() runs on one other
// thread at a time (the frame thread), which alone owns the scaler state.
class VideoFrameScaler {
public:
    VideoFrameScaler();
    ~VideoFrameScaler();

    VideoFrameScaler(const VideoFrameScaler&) = delete;
    VideoFrameScaler& operator=(const VideoFrameScaler&) = delete;

    // The box the upright picture must fit, in device pixels; nothing is
    // converted while it is empty.
    void setTarget(QSize box);
    QSize target() const;

    QImage convert(const QVideoFrame& frame);

private:
    mutable std::mutex lock_;
    QSize target_;
    // Bilinear: a playing video is scaled many times a second, to the size
    // it is shown at. Frame thread only.
    PictureScaler scaler_;
};

} // namespace pivra
