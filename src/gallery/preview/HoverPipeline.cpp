#include "gallery/preview/HoverPipeline.h"

#include <QThread>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

#include <mutex>
#include <utility>

namespace pivra {

// The newest converted frame, passed from the frame thread to the GUI thread.
// `pending` while a hand-over is queued, so that at most one is; `closed`
// once the pipeline is going, after which the frame thread posts nothing
// more to it.
struct HoverPipeline::Mailbox {
    std::mutex lock;
    QImage latest;
    bool pending = false;
    bool closed = false;
};

HoverPipeline::HoverPipeline(QThread& frameThread, QObject* parent)
    : QObject(parent)
    , mailbox_(std::make_shared<Mailbox>())
    , sink_(new QVideoSink)
    , player_(std::make_unique<QMediaPlayer>())
{
    // Moved before the player sees it: the renderer GStreamer makes for the
    // sink then lives on the sink's thread, and waits on that thread only.
    sink_->moveToThread(&frameThread);
    connect(
        sink_, &QVideoSink::videoFrameChanged, sink_,
        [mailbox = mailbox_, self = this](const QVideoFrame& frame) {
            // The renderer clears the sink when it flushes: the tile keeps
            // the frame it has.
            if (!frame.isValid()) {
                return;
            }
            QImage image = frame.toImage();
            if (image.isNull()) {
                return;
            }
            std::lock_guard guard(mailbox->lock);
            if (mailbox->closed) {
                return;
            }
            mailbox->latest = std::move(image);
            if (!mailbox->pending) {
                mailbox->pending = true;
                // Posted under the lock, so the pipeline cannot be gone yet;
                // its destruction drops the call if it is still queued then.
                QMetaObject::invokeMethod(self, &HoverPipeline::deliver, Qt::QueuedConnection);
            }
        },
        Qt::DirectConnection);
    connect(player_.get(), &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error != QMediaPlayer::NoError) {
            Q_EMIT failed();
        }
    });

    // No audio output is attached: the clip plays silent whatever it holds.
    player_->setVideoSink(sink_);
    player_->setLoops(QMediaPlayer::Infinite);
}

HoverPipeline::~HoverPipeline()
{
    {
        std::lock_guard guard(mailbox_->lock);
        mailbox_->closed = true;
        mailbox_->latest = QImage();
    }
    player_.reset();
    // Its renderer and last frame go with it, on its own thread.
    sink_->deleteLater();
}

void HoverPipeline::play(const QUrl& clip)
{
    player_->setSource(clip);
    player_->play();
}

void HoverPipeline::deliver()
{
    QImage frame;
    {
        std::lock_guard guard(mailbox_->lock);
        frame = std::exchange(mailbox_->latest, QImage());
        mailbox_->pending = false;
    }
    if (!frame.isNull()) {
        Q_EMIT frameReady(frame);
    }
}

} // namespace pivra
