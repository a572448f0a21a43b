#include "viewer/video/hover/VideoHoverPreview.h"

#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/Strand.h"
#include "viewer/video/hover/HoverFrameGrabber.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace pivra {

// Where the worker's answers go: the preview while it lives, nobody once it
// is going. Answers are posted under the lock, so none is posted to a
// preview that is gone; one already posted is dropped with the preview.
struct VideoHoverPreview::Inbox {
    std::mutex lock;
    VideoHoverPreview* preview = nullptr;
    bool decoding = false;
    bool holding = false; // the worker's last job left the decoder open

    void setDecoding(bool value)
    {
        std::lock_guard guard(lock);
        decoding = value;
    }

    void setHolding(bool value)
    {
        std::lock_guard guard(lock);
        holding = value;
    }
};

VideoHoverPreview::VideoHoverPreview(QObject* parent)
    : QObject(parent)
    , latest_(std::make_shared<std::atomic<quint64>>(0))
    , inbox_(std::make_shared<Inbox>())
    , worker_(std::make_shared<Strand>())
{
    inbox_->preview = this;
    delay_.setSingleShot(true);
    delay_.setInterval(restDelay);
    connect(&delay_, &QTimer::timeout, this, &VideoHoverPreview::start);
}

VideoHoverPreview::~VideoHoverPreview()
{
    latest_->store(~quint64(0)); // queued requests are skipped
    {
        std::lock_guard guard(inbox_->lock);
        inbox_->preview = nullptr;
    }
    BackgroundReleaser::shared().release(std::move(worker_), std::move(reads_));
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
    if (const QByteArray file = fileNameBytes(path); std::find(reads_.begin(), reads_.end(), file) == reads_.end()) {
        reads_.push_back(file);
    }
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
        releaseOnceAnswered();
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
    releaseOnceAnswered();
}

// Nothing is left for the worker to decode: the still it may be decoding
// (the bar's end needs the decoder's pictures until it is made) is finished,
// and unless a request came meanwhile the decoder then goes, with the
// pictures and tables it keeps, while the video plays on beside it.
void VideoHoverPreview::releaseOnceAnswered()
{
    if (!grabber_) {
        return;
    }
    worker_->post([inbox = inbox_, grabber = grabber_, latest = latest_, generation = generation_] {
        if (latest->load() == generation) {
            grabber->release();
        }
        inbox->setHolding(grabber->holdsDecoder());
    });
}

void VideoHoverPreview::moveOn()
{
    ++generation_;
    latest_->store(generation_);
    delay_.stop();
}

void VideoHoverPreview::start()
{
    worker_->post([inbox = inbox_, grabber = grabber_, latest = latest_, generation = generation_,
                   second = pendingKey_] {
        inbox->setDecoding(true);
        const QImage frame = latest->load() == generation ? grabber->frame(second) : QImage();
        // Nothing newer was asked for meanwhile: the pointer rests, or has
        // left the bar, while the video may play on beside a second decoder.
        if (latest->load() == generation) {
            grabber->release();
        }
        std::lock_guard guard(inbox->lock);
        inbox->decoding = false;
        inbox->holding = grabber->holdsDecoder();
        if (VideoHoverPreview* preview = inbox->preview) {
            QMetaObject::invokeMethod(
                preview, [preview, generation, second, frame] { preview->arrived(generation, second, frame); },
                Qt::QueuedConnection);
        }
    });
}

bool VideoHoverPreview::isDecoding() const
{
    std::lock_guard guard(inbox_->lock);
    return inbox_->decoding;
}

bool VideoHoverPreview::holdsDecoder() const
{
    std::lock_guard guard(inbox_->lock);
    return inbox_->holding;
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
