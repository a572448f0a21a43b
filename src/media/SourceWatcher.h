#pragma once

#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace pivra {

class FolderWatcher;

// Tells its owner once per burst that something changed inside the watched
// folders, so it can rescan. Changes that lie only inside a source's hidden
// ".pivra" folder are not changes of the library. The owner calls onChange
// `debounce` after the last batch that counted, so a burst of batches closer
// together than that makes one call.
//
// GUI thread. onChange is never called after stop() or destruction. There is
// no way to change the paths: the owner stops it and makes another.
class SourceWatcher {
public:
    struct Timing {
        std::chrono::milliseconds latency{1000};
        std::chrono::milliseconds debounce{1500};
    };

    // Empty lists watch nothing and never call onChange. (Default timing
    // through an overload: GCC rejects `Timing timing = {}` inside the class
    // whose nested type has member initializers.)
    SourceWatcher(const QStringList& paths, std::function<void()> onChange);
    SourceWatcher(const QStringList& paths, std::function<void()> onChange, Timing timing);
    // Also tells once when one of `awaited` is there (a source's folder
    // coming back), without watching it.
    SourceWatcher(const QStringList& paths, const QStringList& awaited, std::function<void()> onChange, Timing timing);
    ~SourceWatcher();

    SourceWatcher(const SourceWatcher&) = delete;
    SourceWatcher& operator=(const SourceWatcher&) = delete;

    void stop();

    // Whether the stream underneath exists (not for empty lists, not after
    // stop()).
    bool isWatching() const { return stream_ != nullptr; }
    // The stream, so a test can wait for its first watches.
    FolderWatcher* stream() const { return stream_.get(); }

private:
    void batchArrived(const QStringList& paths);

    std::unique_ptr<FolderWatcher> stream_;
    QTimer delayedChange_;
    std::function<void()> onChange_;
};

} // namespace pivra
