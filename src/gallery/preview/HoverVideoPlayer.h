#pragma once

#include "catalog/model/MediaItem.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVariantAnimation>

#include <memory>

class QMediaPlayer;

namespace pivra {

class HoverPipeline;
class ThumbnailStore;
class VideoPreviewStore;

// The one silent, looping player of the gallery grid. The grid owns a single
// instance and lends it to whichever video tile the pointer rests on: no tile
// has a player of its own, so sweeping over a thousand videos starts one
// clip at most.
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
// preview clip exists, and never while motion is reduced. Items loaded
// before their thumbnail key was written (the first indexing of a library)
// find their clip by the key the thumbnail store knows for their file.
//
// Each clip plays in a pipeline of its own (HoverPipeline), made when it
// starts and destroyed when it stops, so an idle player holds no decoder,
// buffer or frame, and no state of one clip can reach the next. A pipeline
// that reports an error, or shows no new frame for `stall limit` while it
// plays, is torn down and built again from the clip's start, a bounded
// number of times per hover; after that the tile keeps its thumbnail until
// the pointer rests on another video. A clip that cannot be decoded thus
// never delivers a frame, and the thumbnail simply stays visible.
// GUI thread only.
class HoverVideoPlayer final : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultDelayMilliseconds = 150;
    // Far longer than the gap between two frames of any clip, loop included.
    static constexpr int defaultStallMilliseconds = 3000;
    // Rebuilds after an error or a stall, per hover.
    static constexpr int maxRebuilds = 2;

    HoverVideoPlayer(const VideoPreviewStore& clips, const ThumbnailStore& thumbnails, QObject* parent = nullptr);
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

    // For tests: how long the pointer must rest before the clip starts, and
    // how long a playing clip may go without a new frame.
    void setDelay(int milliseconds) { delay_.setInterval(milliseconds); }
    void setStallLimit(int milliseconds) { watchdog_.setInterval(milliseconds); }
    // For tests: the player of the clip playing now; none while idle.
    const QMediaPlayer* mediaPlayer() const;
    // For tests: pipelines rebuilt after an error or a stall, in all.
    int rebuilds() const { return rebuilds_; }

Q_SIGNALS:
    // A new frame to paint, or the video went away (the tile shows its
    // thumbnail again).
    void frameChanged();

private:
    void start();
    void build();
    void recover();
    void showFrame(const QImage& frame);
    void stopPlayback();

    const VideoPreviewStore& clips_;
    const ThumbnailStore& thumbnails_;
    QThread frameThread_;
    std::unique_ptr<HoverPipeline> pipeline_;
    // Which pipeline a queued error report comes from.
    quint64 generation_ = 0;
    QTimer delay_;
    QTimer watchdog_;
    QVariantAnimation fade_;
    MediaItem hovered_;
    QString hoveredID_;
    QString playingID_;
    QUrl clip_;
    int attempts_ = 0;
    int rebuilds_ = 0;
    QRect tile_;
    QImage frame_;
};

} // namespace pivra
