#pragma once

#include <memory>

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
// waits likewise while the GUI thread answers what they ask of it, as long
// as they can move on.
class BackgroundReleaser {
public:
    BackgroundReleaser();
    ~BackgroundReleaser();

    BackgroundReleaser(const BackgroundReleaser&) = delete;
    BackgroundReleaser& operator=(const BackgroundReleaser&) = delete;

    void release(std::shared_ptr<void> object);

    // GUI thread: turns the event loop until every release under way has
    // ended. Some objects need one more answer from the GUI thread as they
    // end (a media player's pipeline asks it for one as it stops); a wait
    // that does not turn it gets none, and they wait out their timeout.
    // It stops waiting once a thread stays held in one call on a file (a
    // player's read or look at its size, on a share that no longer
    // answers): what is left would end only when the share does.
    void finish();

    // The program's own, for whoever has none of its own; it waits for what
    // is still going when the program ends.
    static BackgroundReleaser& shared();

private:
    struct Pending;
    const std::shared_ptr<Pending> pending_;
};

} // namespace pivra
