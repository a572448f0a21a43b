#pragma once

#include <QString>

#include <chrono>

namespace pivra {
class FolderWatcher;
}

namespace pivra::test {

// Returns once a watcher that acts on the batches of `stream` a `debounce`
// after the last has had its chance to act on every change made so far, so
// that a test can then check it did not. The folder `marker`, which must lie
// in a watched folder and be one the watcher ignores (a source's hidden
// ".pivra" folder), is created or removed: once `stream` reports that, it
// has reported every earlier change too. Then it outlasts, by twice the
// debounce, any debounce begun by then (see outlastTimers). Without a stream
// (none, or stopped) only that wait runs. False if the marker is not
// reported.
bool settleWatch(FolderWatcher* stream, const QString& marker, std::chrono::milliseconds debounce);

} // namespace pivra::test
