#include "viewer/video/picture/VideoPictureFeed.h"

#include "platform/runtime/threads/BackgroundReleaser.h"
#include "media/pictures/VideoFrameScaler.h"

#include <QThread>
#include <QVideoSink>

#include <mutex>

namespace pivra {
namespace {

// Ends a frame thread wherever it is let go of: its last conversion is waited
// for there, and the sink's deferred deletion runs as the thread finishes.
void endThread(QThread* thread)
{
    thread->quit();
    thread->wait();
    delete thread;
}

} // namespace

// The scaler in use, read by the frame thread for every frame.
struct VideoPictureFeed::Scalers {
    mutable std::mutex lock;
    std::shared_ptr<VideoFrameScaler> current;

    std::shared_ptr<VideoFrameScaler> get() const
    {
        std::lock_guard guard(lock);
        return current;
    }
};

VideoPictureFeed::VideoPictureFeed()
    : scalers_(std::make_shared<Scalers>())
    , frameThread_(new QThread, &endThread)
{
    frameThread_->setObjectName(QStringLiteral("Pivra video frames"));
    frameThread_->start();
    frames_ = std::make_unique<LatestFrameSink>(
        *frameThread_,
        [scalers = scalers_](const QVideoFrame& frame) {
            const std::shared_ptr<VideoFrameScaler> scaler = scalers->get();
            return scaler ? scaler->convert(frame) : ConvertedFrame();
        },
        true);
}

VideoPictureFeed::~VideoPictureFeed()
{
    if (frameThread_) {
        release()();
    }
}

QVideoSink* VideoPictureFeed::sink() const { return frames_->sink(); }

void VideoPictureFeed::convertWith(std::shared_ptr<VideoFrameScaler> scaler)
{
    {
        std::lock_guard guard(scalers_->lock);
        scalers_->current = std::move(scaler);
    }
    frames_->reconvert();
}

void VideoPictureFeed::stopConvertingWith(const VideoFrameScaler* scaler)
{
    std::lock_guard guard(scalers_->lock);
    if (scalers_->current.get() == scaler) {
        scalers_->current.reset();
    }
}

bool VideoPictureFeed::convertsWith(const VideoFrameScaler* scaler) const
{
    return scalers_->get().get() == scaler;
}

std::function<void()> VideoPictureFeed::release()
{
    QVideoSink* sink = frames_->handOverSink();
    frames_.reset();
    return [sink, thread = std::move(frameThread_)]() mutable {
        sink->deleteLater();
        BackgroundReleaser::shared().release(std::move(thread));
    };
}

} // namespace pivra
