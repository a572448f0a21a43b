#include "viewer/video/VideoHoverPreview.h"

#include "platform/runtime/Strand.h"
#include "viewer/video/HoverFrameGrabber.h"

#include <cmath>

namespace pivra {

VideoHoverPreview::VideoHoverPreview(QObject* parent)
    : QObject(parent)
    , latest_(std::make_shared<std::atomic<quint64>>(0))
    , worker_(std::make_unique<Strand>())
{
    delay_.setSingleShot(true);
    delay_.setInterval(restDelay);
    connect(&delay_, &QTimer::timeout, this, &VideoHoverPreview::start);
}

VideoHoverPreview::~VideoHoverPreview()
{
    latest_->store(~quint64(0)); // queued requests are skipped
    worker_.reset();
}

int VideoHoverPreview::key(double seconds)
{
    return std::max(int(std::lround(seconds)), 0);
}

void VideoHoverPreview::configure(const QString& path)
{
    if (grabber_ && grabber_->path() == path) {
        return;
    }
    grabber_ = std::make_shared<HoverFrameGrabber>(path);
    cache_.clear();
    cancel();
}

void VideoHoverPreview::unconfigure()
{
    grabber_.reset();
    cache_.clear();
    cancel();
}

void VideoHoverPreview::request(double seconds)
{
    if (!grabber_ || !std::isfinite(seconds)) {
        return;
    }
    const int second = key(seconds);
    moveOn();
    if (const QImage* cached = cache_.object(second)) {
        publish(*cached);
        return;
    }
    publish({});
    pendingKey_ = second;
    delay_.start();
}

void VideoHoverPreview::cancel()
{
    moveOn();
    publish({});
}

void VideoHoverPreview::moveOn()
{
    ++generation_;
    latest_->store(generation_);
    delay_.stop();
}

void VideoHoverPreview::start()
{
    worker_->post([this, grabber = grabber_, latest = latest_, generation = generation_, second = pendingKey_] {
        const QImage frame = latest->load() == generation ? grabber->frame(second) : QImage();
        QMetaObject::invokeMethod(
            this, [this, generation, second, frame] { arrived(generation, second, frame); }, Qt::QueuedConnection);
    });
}

void VideoHoverPreview::arrived(quint64 generation, int second, const QImage& frame)
{
    ++jobsFinished_;
    if (generation != generation_) {
        return;
    }
    if (!frame.isNull()) {
        cache_.insert(second, new QImage(frame));
    }
    publish(frame);
}

void VideoHoverPreview::publish(const QImage& image)
{
    image_ = image;
    Q_EMIT imageChanged(image_);
}

} // namespace pivra
