#pragma once

#include <coroutine>
#include <memory>

namespace pivra {

struct TaskState;

namespace detail {

// The one road back to the GUI thread. Posts the resumption of `frame` to the
// end of the GUI event queue; when it comes up, the task's context is checked
// first: if the context object is gone, the task's root frame is destroyed
// (which destroys every nested frame and their locals) instead of resumed, and
// the task ends. A plain queued call on the context would silently drop the
// event and leak the frames. Safe to call from any thread.
void resumeOnMain(std::shared_ptr<TaskState> state, std::coroutine_handle<> frame);

// Work this runtime has queued and not yet delivered on the GUI thread:
// dispatcher posts, executor and pool jobs. drain() waits for zero. A job
// counts until its result has been posted, and the post counts from before
// the job stops counting, so the total never touches zero in between.
void workQueued() noexcept;
void workDelivered() noexcept;
bool hasOutstandingWork() noexcept;

} // namespace detail

} // namespace pivra
