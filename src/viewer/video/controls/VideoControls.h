#pragma once

#include "catalog/model/MediaItem.h"

#include <QPointer>
#include <QString>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>

class QGraphicsOpacityEffect;
class QLabel;
class QSlider;

namespace pivra {

class TransportButton;
class VideoHoverPreview;
class VideoPlaybackModel;
class VideoScrubBar;

// The transport bar along the bottom of the viewer: an error banner while
// the model has an error, the scrub bar with its hover bubble, and one row
// of play or pause, back and forward 10 seconds, the time, mute, volume,
// speed and full screen, on a gradient that darkens towards the bottom.
//
// The row's symbols and the bubble's time are drawn in the palette's text
// colour, so the viewer decides their colour by the palette it gives.
// Whether the bar shows is the viewer's rule: it calls setRevealed(), and
// may follow hoveredChanged() to keep the bar up while the pointer is on it.
//
// The hover bubble stands above the bar, outside it: it is a child of the
// bar's parent (the viewer), laid over it.
class VideoControls final : public QWidget {
    Q_OBJECT

public:
    VideoControls(VideoPlaybackModel& model, const MediaItem& item, std::function<void()> onFullscreen,
                  QWidget* parent = nullptr);
    ~VideoControls() override;

    // Another video: hover frames, the bubble and scrubbing start afresh.
    void setItem(const MediaItem& item);
    const MediaItem& item() const { return item_; }

    // Fades the bar in or out (0.22 s, at once with reduced motion); a
    // hidden bar takes no clicks.
    void setRevealed(bool revealed);
    bool revealed() const { return revealed_; }

    // "m:ss" below an hour, "h:mm:ss" from an hour on; whole seconds,
    // truncated; not finite or negative reads as 0.
    static QString timeLabel(double seconds);
    // The speed as the menu and its help show it: "1.25×".
    static QString speedLabel(float speed);

    // For tests and the viewer's layout: the parts of the bar.
    VideoScrubBar& scrubBar() const { return *scrubBar_; }
    VideoHoverPreview& hoverPreview() const { return *hover_; }
    QLabel& errorBanner() const { return *banner_; }
    QLabel& timeText() const { return *time_; }
    TransportButton& playButton() const { return *play_; }
    TransportButton& muteButton() const { return *mute_; }
    TransportButton& speedButton() const { return *speed_; }
    QSlider& volumeSlider() const { return *volumeSlider_; }

Q_SIGNALS:
    // The pointer entered or left the bar.
    void hoveredChanged(bool hovered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildRow();
    void configureHover();
    void showPlaying(bool playing);
    void showTime();
    void showVolume(double volume);
    void showSpeed(float speed);
    void showError();
    void fadeTo(double opacity);

    QPointer<VideoPlaybackModel> model_;
    MediaItem item_;
    std::function<void()> onFullscreen_;
    VideoHoverPreview* hover_;
    QLabel* banner_;
    VideoScrubBar* scrubBar_;
    TransportButton* play_ = nullptr;
    QLabel* time_ = nullptr;
    TransportButton* mute_ = nullptr;
    QSlider* volumeSlider_ = nullptr;
    TransportButton* speed_ = nullptr;
    QGraphicsOpacityEffect* opacity_;
    QVariantAnimation fade_;
    bool revealed_ = true;
};

} // namespace pivra
