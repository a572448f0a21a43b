#pragma once

#include "catalog/model/MediaItem.h"

#include <QImage>
#include <QMediaPlayer>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QVariantAnimation>
#include <QVideoSink>

namespace pivra {

class VideoPreviewStore;

// The one silent, looping player of the gallery grid. The grid owns a single
// instance and lends it to whichever video tile the pointer rests on: no tile
// has a player of its own, so sweeping over a thousand videos costs one
// source change at most.
//
// How the grid uses it:
// - on every pointer move over a tile, hover(item, tileRect); moving within
//   the same tile only updates the rectangle, moving onto another item starts
//   over;
// - when the pointer leaves the grid or a tile that is recycled or rebound
//   was the one hovered, leave() (or stop(id) for "only if it is this item");
// - on frameChanged(), repaint tile(); while painting that tile, if
//   playingItemID() is the tile's item and currentFrame() is not null, draw
//   the frame over the thumbnail (RotatablePreviewView::paint takes it) at
//   opacity().
//
// The clip starts only after the pointer stayed `delay` on the same video
// (so a sweep across the grid starts nothing), only for a video whose
// preview clip exists, and never while motion is reduced. A clip that cannot
// be decoded never delivers a frame, so the thumbnail simply stays visible.
// GUI thread only.
class HoverVideoPlayer final : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultDelayMilliseconds = 150;

    explicit HoverVideoPlayer(const VideoPreviewStore& clips, QObject* parent = nullptr);
    ~HoverVideoPlayer() override;

    // The pointer is over `item`'s tile at `tile`, in the grid's coordinates.
    void hover(const MediaItem& item, const QRect& tile);
    // The pointer left: the pending start is dropped and playback stops.
    void leave();
    // Stops only when `itemID` is the item hovered (pending or playing).
    void stop(const QString& itemID);

    // The item whose clip plays now; empty when idle or still waiting.
    const QString& playingItemID() const { return playingID_; }
    // The tile the clip belongs to, as last given to hover().
    const QRect& tile() const { return tile_; }
    // The latest decoded frame; null until the first one arrives.
    const QImage& currentFrame() const { return frame_; }
    // The video's opacity: it fades in once the first frame is there.
    double opacity() const;

    // For tests: how long the pointer must rest before the clip starts.
    void setDelay(int milliseconds) { delay_.setInterval(milliseconds); }
    const QMediaPlayer& player() const { return player_; }

Q_SIGNALS:
    // A new frame to paint, or the video went away (the tile shows its
    // thumbnail again).
    void frameChanged();

private:
    void start();
    void showFrame(const QVideoFrame& frame);

    const VideoPreviewStore& clips_;
    QMediaPlayer player_;
    QVideoSink sink_;
    QTimer delay_;
    QVariantAnimation fade_;
    MediaItem hovered_;
    QString hoveredID_;
    QString playingID_;
    QRect tile_;
    QImage frame_;
};

} // namespace pivra
