#pragma once

#include "media/pictures/LatestFrameSink.h"

#include <QImage>
#include <QPointer>
#include <QSize>
#include <QTransform>
#include <QWidget>

#include <memory>

namespace pivra {

class VideoFrameScaler;
class VideoPlaybackModel;

// The picture of the viewer's player, painted by this widget so that the
// transport bar and a Live Photo's still can lie over it (a native video
// window could not be overlaid). The whole picture is fitted into a frame,
// upright as the video's display rotation says; where that frame lies (the
// still's fitting, zoom, pan and turn, springs included) is the viewer's to
// say, or by default the widget's box turned by the user's quarter turns.
//
// Frames are converted on the model's frame thread with this view's scaler,
// and only the part of the picture inside the widget, at no more pixels than
// the video has there; the painter scales it to the screen. Only the newest
// frame reaches the GUI thread. Until the first frame of a video arrives nothing is painted (the
// widget is transparent), so a Live Photo's still does not flash black; a
// new load or stop() of the model drops the frame shown.
//
// Going away never waits: the sink and the frame thread are the model's,
// and stay with the player.
class VideoLayerView final : public QWidget {
    Q_OBJECT

public:
    // Shows `model`'s pictures; the newest view of a model shows them.
    explicit VideoLayerView(VideoPlaybackModel& model, QWidget* parent = nullptr);
    ~VideoLayerView() override;

    // The picture fills the widget's box turned by the user's clockwise
    // quarter turns, on top of the video's own rotation.
    void setRotationQuarters(int quarters);
    // The picture is fitted into `frame` (a rectangle of that size centred on
    // the origin), which `toWidget` maps into this widget.
    void setPlacement(const QTransform& toWidget, QSizeF frame);

    // The frame shown now, upright: the part of the picture on screen at the
    // pixels it was converted at (never more than the video has); null
    // before the first frame of the current video.
    QImage currentFrame() const;
    // The same as it was converted, before turning upright.
    const ConvertedFrame& convertedFrame() const { return shown_; }
    bool hasFrame() const { return !shown_.image.isNull(); }

Q_SIGNALS:
    // A new frame is shown; the first of a video makes hasFrame() true.
    void frameShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showFrame(const ConvertedFrame& frame);
    void dropFrame();
    void placeInWidget();
    void retarget();
    QRectF pictureRect() const;

    QPointer<VideoPlaybackModel> model_;
    std::shared_ptr<VideoFrameScaler> scaler_;
    ConvertedFrame shown_;
    QSize pictureSize_; // upright, of the video playing; empty until known
    QTransform toWidget_;
    QSizeF frame_;
    int quarters_ = 0;
    bool followsWidget_ = true;
};

} // namespace pivra
