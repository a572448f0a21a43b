#pragma once

#include <QByteArray>

#include <memory>
#include <vector>

namespace pivra {

// Lets go of objects whose destruction may wait, each on a thread of its own,
// so that whoever lets go (the GUI thread) never waits: an unplugged device's
// worker ends only once the job it is running has ended, and a device that
// stopped answering may take its time to fail it; a closed video's frame
// thread and still decoder end only after the frame they are working on. A thread of its own rather
// than the pool, so that a device that hangs holds no pool thread.
//
// Until an object is gone it counts as work in flight for drain(). The
// releaser's destructor waits for every release still under way; finish()
// waits likewise while the GUI thread answers what they ask of it, but not
// for a release held by a share that stopped answering, which only the
// share's answer would end (a video player whose streaming thread reads from
// a NAS switched off). A release says which files its object reads as it
// ends (a player's video), and finish() stops waiting for it once a thread
// has stayed held in one call on one of them, on a network or FUSE share,
// for heldLongest (HeldFileCalls). Any thread: the one that ends the object
// usually waits for another that does the reading (a player's for
// GStreamer's streaming thread), and the kernel tells what a thread waits
// in, not whom it waits for. Only those files, and only on a share: another
// thread held on a share, a release without files, or one held by a local
// disk however slow, which answers in the end, is waited for.
class BackgroundReleaser {
public:
    BackgroundReleaser();
    ~BackgroundReleaser();

    BackgroundReleaser(const BackgroundReleaser&) = delete;
    BackgroundReleaser& operator=(const BackgroundReleaser&) = delete;

    // `reads`: the files `object` may still be reading as it ends, as the
    // kernel spells their paths.
    void release(std::shared_ptr<void> object, std::vector<QByteArray> reads = {});

    // GUI thread: turns the event loop until every release under way has
    // ended or is held by a share, as above. Some objects need one more
    // answer from the GUI thread as they end (a media player's pipeline asks
    // it for one as it stops); a wait that does not turn it gets none, and
    // they wait out their timeout.
    void finish();

    // The program's own, for whoever has none of its own; it waits for what
    // is still going when the program ends.
    static BackgroundReleaser& shared();

private:
    struct Pending;
    const std::shared_ptr<Pending> pending_;
};

} // namespace pivra
