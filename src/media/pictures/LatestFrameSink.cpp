#include "media/pictures/LatestFrameSink.h"

#include <QThread>
#include <QTransform>
#include <QVideoSink>

#include <mutex>
#include <utility>

namespace pivra {

QImage ConvertedFrame::upright() const
{
    if (image.isNull()) {
        return {};
    }
    const QImage turned = turn == 0 ? image : image.transformed(QTransform().rotate(turn));
    return mirrored ? turned.mirrored(true, false) : turned;
}

// What the frame thread shares with the GUI thread. `pending` while a
// hand-over is queued, so that at most one is; `closed` once the sink is
// going, after which the frame thread posts nothing more. `arrived`,
// `converting`, `last` and `generation` belong to the frame thread's
// conversions: `converting` while a conversion of the newest frame that
// arrived is queued, so that at most one is; a clear() moves the generation
// on, so a conversion that started before it delivers nothing.
struct LatestFrameSink::Mailbox {
    Convert convert;
    bool keepLast = false;

    std::mutex lock;
    ConvertedFrame latest;
    QVideoFrame arrived;
    QVideoFrame last;
    quint64 generation = 0;
    bool pending = false;
    bool converting = false;
    bool closed = false;

    // Keeps a frame the renderer hands over; whether a conversion is to be
    // queued for it.
    bool arrive(const QVideoFrame& frame)
    {
        std::lock_guard guard(lock);
        if (closed) {
            return false;
        }
        arrived = frame;
        if (keepLast) {
            last = frame;
        }
        return !std::exchange(converting, true);
    }

    // Converts the newest frame that arrived, if a clear() has not taken it.
    void takeArrived(LatestFrameSink* owner)
    {
        QVideoFrame frame;
        {
            std::lock_guard guard(lock);
            frame = std::exchange(arrived, QVideoFrame());
            converting = false;
        }
        if (frame.isValid()) {
            take(frame, owner);
        }
    }

    void take(const QVideoFrame& frame, LatestFrameSink* owner)
    {
        quint64 started = 0;
        {
            std::lock_guard guard(lock);
            if (closed) {
                return;
            }
            started = generation;
        }
        ConvertedFrame converted = convert(frame);
        if (converted.image.isNull()) {
            return;
        }
        converted.startMicroseconds = frame.startTime();
        std::lock_guard guard(lock);
        if (closed || generation != started) {
            return;
        }
        latest = std::move(converted);
        if (!pending) {
            pending = true;
            // Posted under the lock, so the owner cannot be gone yet; its
            // destruction drops the call if it is still queued then.
            QMetaObject::invokeMethod(owner, &LatestFrameSink::deliver, Qt::QueuedConnection);
        }
    }
};

LatestFrameSink::LatestFrameSink(QThread& frameThread, Convert convert, bool keepLast, QObject* parent)
    : QObject(parent)
    , mailbox_(std::make_shared<Mailbox>())
    , sink_(new QVideoSink)
{
    mailbox_->convert = std::move(convert);
    mailbox_->keepLast = keepLast;
    sink_->moveToThread(&frameThread);
    connect(
        sink_, &QVideoSink::videoFrameChanged, sink_,
        [mailbox = mailbox_, sink = sink_, self = this](const QVideoFrame& frame) {
            // The renderer clears the sink when it flushes: the picture keeps
            // the frame it has. The renderer waits for this call, so the
            // conversion runs in a call of its own, after it.
            if (frame.isValid() && mailbox->arrive(frame)) {
                QMetaObject::invokeMethod(
                    sink, [mailbox, self] { mailbox->takeArrived(self); }, Qt::QueuedConnection);
            }
        },
        Qt::DirectConnection);
}

LatestFrameSink::~LatestFrameSink()
{
    {
        std::lock_guard guard(mailbox_->lock);
        mailbox_->closed = true;
        mailbox_->latest = {};
        mailbox_->arrived = QVideoFrame();
        mailbox_->last = QVideoFrame();
    }
    // Its renderer and last frame go with it, on its own thread.
    if (sink_) {
        sink_->deleteLater();
    }
}

void LatestFrameSink::reconvert()
{
    QMetaObject::invokeMethod(sink_, [mailbox = mailbox_, self = this] {
        QVideoFrame frame;
        {
            std::lock_guard guard(mailbox->lock);
            frame = mailbox->last;
        }
        if (frame.isValid()) {
            mailbox->take(frame, self);
        }
    });
}

void LatestFrameSink::clear()
{
    std::lock_guard guard(mailbox_->lock);
    ++mailbox_->generation;
    mailbox_->latest = {};
    mailbox_->arrived = QVideoFrame();
    mailbox_->last = QVideoFrame();
}

void LatestFrameSink::deliver()
{
    ConvertedFrame frame;
    {
        std::lock_guard guard(mailbox_->lock);
        frame = std::exchange(mailbox_->latest, ConvertedFrame());
        mailbox_->pending = false;
    }
    if (!frame.image.isNull()) {
        Q_EMIT frameReady(frame);
    }
}

} // namespace pivra
