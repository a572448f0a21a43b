#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace pivra {

// Paces the exact seeks of a drag over the transport bar: one seek at a time
// is with the player, and the newest target asked for meanwhile waits for
// the picture of that one, replacing any target that waited before it.
//
// Why not hand the player every target at once: an exact seek decodes from
// the key frame before the target up to it, which for a large video takes
// longer than the pointer takes to move on, and a seek the player starts
// cancels the one under way. Whether Qt's player first waits for that one
// depends on its backend; a drag whose seeks each cancel the last shows no
// picture until the pointer rests. Paced, every seek the player finishes
// shows its frame, and the last target is always sought once the drag ends.
//
// GUI thread only.
class SeekPacer final : public QObject {
public:
    // Hands a target to the player.
    using Send = std::function<void(qint64 milliseconds)>;

    explicit SeekPacer(Send send, QObject* parent = nullptr);

    // The newest target: sent now if no seek is under way, else when it ends.
    void ask(qint64 milliseconds);
    // The player took up the seek to `milliseconds`; `sought` is false when
    // it was there already and will show no picture for it.
    void handled(qint64 milliseconds, bool sought);
    // A picture of the video arrived, `startMicroseconds` into it (negative
    // when unknown): the seek under way is done when it is that seek's.
    void pictureArrived(qint64 startMicroseconds);
    // The seek under way is done whatever it showed (the video's end).
    void settle();
    // Sends the waiting target at once, as what comes next (playing) must
    // follow it.
    void flush();
    // Forgets every target, as another video replaces this one.
    void reset();

    // A target has not yet been shown.
    bool busy() const { return underWay_ || waiting_; }

private:
    void send(qint64 milliseconds);

    Send send_;
    std::optional<qint64> underWay_;
    std::optional<qint64> waiting_;
    QTimer patience_;
};

} // namespace pivra
