#pragma once

#include "platform/runtime/threads/GuiReturn.h"

#include <chrono>
#include <functional>
#include <memory>

namespace pivra {

// Runs calls into file systems that may never return (a read on a network
// share whose server went away) on a few threads of its own, and tells the
// GUI thread how each went.
//
// A call counts as stuck once its thread has slept inside it for
// `stuckAfter`: the time it spent neither running nor ready to run, as the
// kernel's scheduler counts it. A call that waits for a processor on a busy
// machine, or in a program held to a small processor quota, is slow, not
// stuck, and is waited for as long as it takes. A stuck call keeps its thread
// until it returns, but no longer counts against the width: another thread
// takes over the queue, so a few dead disks never hold up the calls behind
// them. Without scheduler statistics the whole time since the call began
// counts.
//
// While a call is under way (queued, running and not stuck) it counts as
// work for drain(). Calls still queued when the pool is destroyed are dropped
// untold; running ones end on their threads and tell nobody.
class DiskCallPool {
public:
    struct Limits {
        // Threads that run calls at once, stuck ones not counted.
        int width = 16;
        std::chrono::milliseconds stuckAfter{2000};
    };

    enum class Outcome {
        answered,     // the call returned in time
        stuck,        // proven stuck; answeredLate follows if it ever returns
        answeredLate, // a stuck call returned
    };

    // GUI thread.
    explicit DiskCallPool(Limits limits);
    ~DiskCallPool();

    DiskCallPool(const DiskCallPool&) = delete;
    DiskCallPool& operator=(const DiskCallPool&) = delete;

    // Queues `call`. `told` runs on the GUI thread, through `back`, with
    // answered, or with stuck and later, perhaps, answeredLate. The call must
    // own everything it touches. GUI thread.
    void run(std::function<void()> call, GuiReturn back, std::function<void(Outcome)> told);

    // The threads the pool holds now, stuck ones and its watch included.
    int threads() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace pivra
