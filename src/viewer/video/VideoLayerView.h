#pragma once

#include <QImage>
#include <QPointer>
#include <QSize>
#include <QThread>
#include <QWidget>

#include <memory>

namespace pivra {

class LatestFrameSink;
class VideoFrameScaler;
class VideoPlaybackModel;

// The picture of the viewer's player, painted by this widget so that the
// transport bar and a Live Photo's still can lie over it (a native video
// window could not be overlaid). The whole picture shows, scaled to fit and
// centred, upright as the video's display rotation says, then turned by the
// user's quarter turns.
//
// Frames are converted and scaled to the widget's size on a thread of the
// view's own, and only the newest reaches the GUI thread, which paints it
// without scaling: a 4K video costs the GUI thread no more than a small one.
// Until the first frame of a video arrives nothing is painted (the widget is
// transparent), so a Live Photo's still does not flash black; a new load or
// stop() of the model drops the frame shown.
class VideoLayerView final : public QWidget {
    Q_OBJECT

public:
    // Shows `model`'s player: the view takes the player's video output.
    explicit VideoLayerView(VideoPlaybackModel& model, QWidget* parent = nullptr);
    ~VideoLayerView() override;

    // Takes the player's video output back, when another view had it.
    void attach();

    // The user's clockwise quarter turns, on top of the video's own rotation.
    void setRotationQuarters(int quarters);
    int rotationQuarters() const { return quarters_; }

    // The frame painted now (upright, at most the widget's size in device
    // pixels); null before the first frame of the current video.
    const QImage& currentFrame() const { return frame_; }
    bool hasFrame() const { return !frame_.isNull(); }

Q_SIGNALS:
    // A new frame is shown; the first of a video makes hasFrame() true.
    void frameShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showFrame(const QImage& frame);
    void dropFrame();
    QSize targetSize() const;

    QPointer<VideoPlaybackModel> model_;
    QThread frameThread_;
    std::shared_ptr<VideoFrameScaler> scaler_;
    std::unique_ptr<LatestFrameSink> frames_;
    QImage frame_;
    int quarters_ = 0;
};

} // namespace pivra
