#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QThread;

namespace pivra {

// A thread for Qt's media player that runs the jobs posted to it in order,
// each from the top of its own loop, and turns its event loop in between
// for what the player needs (its bus, its timers, its queued calls).
//
// Why not QThread's own event loop and posted events: the GStreamer player
// turns the event loop of its thread from inside some of its calls (a seek
// waits for the one before it that way). Jobs posted while such a call runs
// were then never run, and a thread waiting to end waited for ever. Here no
// job runs inside another, and every job posted is run.
class PlayerThread {
public:
    explicit PlayerThread(const QString& name);
    // The thread ends once the jobs posted before end() have run; the
    // QThread is let go of by the background releaser, which waits for it.
    ~PlayerThread();

    PlayerThread(const PlayerThread&) = delete;
    PlayerThread& operator=(const PlayerThread&) = delete;

    QThread* thread() const { return thread_.get(); }

    // Any thread: runs `job` on this thread after every job posted before.
    void post(std::function<void()> job);

    // The player reads the files at `paths` (as the kernel spells them): one
    // that a share holds it on as it ends does not hold the program's end.
    void readsFrom(const std::vector<QByteArray>& paths);

private:
    struct Queue;

    std::shared_ptr<Queue> queue_;
    std::shared_ptr<QThread> thread_;
    // Every file it was given: a player held on one goes on being held on
    // it while it is given the next.
    std::vector<QByteArray> reads_;
};

} // namespace pivra
