#include "viewer/video/playback/SeekPacer.h"

#include <cstdlib>

namespace pivra {
namespace {

// A picture this close to the target is the seek's: an exact seek shows the
// frame that covers the target, which starts at most one frame before it.
// Generous, so a video of few frames a second still matches.
constexpr qint64 pictureMatchMs = 500;
// How long a seek may take to show its picture before the next target goes
// anyway: well beyond an exact seek in a large video on a loaded machine,
// so only a seek that shows nothing waits this long.
constexpr int patienceMs = 2000;

} // namespace

SeekPacer::SeekPacer(Send send, QObject* parent)
    : QObject(parent)
    , send_(std::move(send))
{
    patience_.setSingleShot(true);
    patience_.setInterval(patienceMs);
    connect(&patience_, &QTimer::timeout, this, &SeekPacer::settle);
}

void SeekPacer::ask(qint64 milliseconds)
{
    if (underWay_) {
        waiting_ = milliseconds;
    } else {
        send(milliseconds);
    }
}

void SeekPacer::handled(qint64 milliseconds, bool sought)
{
    if (!sought && underWay_ == milliseconds) {
        settle();
    }
}

void SeekPacer::pictureArrived(qint64 startMicroseconds)
{
    if (underWay_ && (startMicroseconds < 0 || std::llabs(startMicroseconds / 1000 - *underWay_) <= pictureMatchMs)) {
        settle();
    }
}

void SeekPacer::settle()
{
    underWay_.reset();
    patience_.stop();
    if (waiting_) {
        send(*std::exchange(waiting_, std::nullopt));
    }
}

void SeekPacer::flush()
{
    if (waiting_) {
        send(*std::exchange(waiting_, std::nullopt));
    }
}

void SeekPacer::reset()
{
    underWay_.reset();
    waiting_.reset();
    patience_.stop();
}

void SeekPacer::send(qint64 milliseconds)
{
    underWay_ = milliseconds;
    patience_.start();
    send_(milliseconds);
}

} // namespace pivra
