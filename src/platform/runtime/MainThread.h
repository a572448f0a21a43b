#pragma once

namespace pivra {

// True on the thread that owns the QCoreApplication (the GUI thread), which is
// where every task of this runtime runs.
bool isMainThread();

// Stops the program with a message naming the calling thread when it is not
// the GUI thread. Kept on in every build: the check is one comparison, and a
// continuation or mutator running on the wrong thread is a fault that would
// otherwise show up only as a rare data race.
void assertMainThread();

} // namespace pivra
