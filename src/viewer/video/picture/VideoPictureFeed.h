#pragma once

#include "media/pictures/LatestFrameSink.h"

#include <functional>
#include <memory>

class QThread;

namespace pivra {

class VideoFrameScaler;

// Where the player's pictures go: one sink for the player's whole life, on a
// frame thread of its own, converting each frame with the scaler of the view
// that shows them and handing the GUI thread only the newest.
//
// The player is given the sink once and never another: Qt's GStreamer
// player relinks its pipeline to change sinks, and a change while the
// picture flows ends playback with a data stream error. Views come and go
// (a source going offline and back makes its view again), the sink stays.
//
// GUI thread only, except release()'s job.
class VideoPictureFeed {
public:
    VideoPictureFeed();
    ~VideoPictureFeed();

    // The sink for the player; valid until release().
    QVideoSink* sink() const;
    // Delivers the newest converted picture on the GUI thread.
    const LatestFrameSink& frames() const { return *frames_; }

    // Pictures are converted with `scaler` from now on, the last one again.
    void convertWith(std::shared_ptr<VideoFrameScaler> scaler);
    // No picture is converted with `scaler` any more, if it was in use.
    void stopConvertingWith(const VideoFrameScaler* scaler);
    bool convertsWith(const VideoFrameScaler* scaler) const;
    // Converts the last picture again with the scaler in use.
    void reconvert() { frames_->reconvert(); }
    // Forgets the last picture and any not yet delivered.
    void clear() { frames_->clear(); }

    // Gives up the sink and the frame thread: the job returned deletes the
    // sink and ends the thread without waiting for it. Run it, on any
    // thread, once no player can hand the sink a frame any more.
    std::function<void()> release();

private:
    struct Scalers;

    std::shared_ptr<Scalers> scalers_;
    std::shared_ptr<QThread> frameThread_;
    std::unique_ptr<LatestFrameSink> frames_;
};

} // namespace pivra
