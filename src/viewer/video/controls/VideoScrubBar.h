#pragma once

#include <QColor>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

namespace pivra {

class VideoHoverBubble;
class VideoHoverPreview;
class VideoPlaybackModel;

// The scrub bar: a thin track with the played part in the accent colour, a
// knob while the pointer is over the bar or drags on it, and the hover
// bubble with the frame and time under the pointer. A press anywhere seeks
// there, and so does every move of the drag that follows.
//
// The bubble lives in `bubbleHost` (the viewer, so it can stand above the
// bar) and is placed 66 points above the bar's top, its centre at least 95
// points from each end.
class VideoScrubBar final : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 26;
    static constexpr int bubbleRise = 66;
    static constexpr int bubbleMargin = 95;
    static inline const QColor accent = QColor::fromRgbF(1.0f, 0.23f, 0.2f);

    VideoScrubBar(VideoPlaybackModel& model, VideoHoverPreview& hover, QWidget* parent = nullptr);
    ~VideoScrubBar() override;

    // Where the bubble's centre lies along a bar of `width` for the pointer
    // at `hoverX`.
    static double bubbleCentre(double hoverX, double width);

    void setBubbleHost(QWidget* host);
    VideoHoverBubble& bubble() const { return *bubble_; }

    std::optional<double> hoverTime() const { return hoverTime_; }
    double hoverX() const { return hoverX_; }
    bool isScrubbing() const { return scrubbing_; }
    // The played fraction as drawn, following the model's time.
    double shownProgress() const { return shownProgress_; }

    // Another video: no hover, no drag, the fill at the new time.
    void reset();

    QSize sizeHint() const override { return {400, barHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double progress() const;
    void hoverAt(double x);
    void endHover();
    void scrubTo(double x);
    void followTime();
    void placeBubble();

    QPointer<VideoPlaybackModel> model_;
    VideoHoverPreview& hover_;
    VideoHoverBubble* bubble_;
    std::optional<double> hoverTime_;
    double hoverX_ = 0;
    bool scrubbing_ = false;
    double shownProgress_ = 0;
    QVariantAnimation progressAnimation_;
};

} // namespace pivra
