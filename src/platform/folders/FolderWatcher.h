#pragma once

#include <QObject>
#include <QStringList>

#include <chrono>
#include <memory>

namespace pivra {

// Watches folder trees through inotify and tells the GUI thread, in batches,
// which paths changed: files and folders created, deleted, moved in or out,
// written and closed, or with changed attributes, anywhere below the roots.
// Folders created or moved in are watched with their whole subtree as they
// appear (and count as a change); folders named ".pivra" are not entered.
// Trees are walked and their watches set on worker threads, the first ones as
// well as those that appear, as a tree moved in may hold thousands of folders.
//
// A batch starts with the first event after a quiet time and is reported
// `latency` later with every path seen meanwhile, but not before the walks
// begun by then have ended: a change made after a batch in a folder it reports
// is always reported. A lost-events overflow reports the roots. A root that
// is missing, at the start or later (deleted, moved away, unmounted), is
// awaited: when a folder appears at its path it is reported and watched like
// the first. When the system's watch limit is reached the trees are watched
// in part: that is logged once and told as partlyWatched, and so is a
// watcher's giving up watches for watches that matter more
// (yieldFolderWatches).
//
// Lives on the GUI thread; no signal comes after stop() or destruction.
class FolderWatcher : public QObject {
    Q_OBJECT

public:
    FolderWatcher(const QStringList& roots, std::chrono::milliseconds latency, QObject* parent = nullptr);
    // With paths that are only awaited: each is reported once it is there
    // (at once if it is there already), and not watched.
    FolderWatcher(const QStringList& roots, const QStringList& awaited, std::chrono::milliseconds latency,
                  QObject* parent = nullptr);
    ~FolderWatcher() override;

    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    void stop();

Q_SIGNALS:
    // The absolute paths of one batch, each once.
    void changed(const QStringList& paths);
    // The watches of the roots' existing trees are all set.
    void ready();
    // Some folders of these roots (all of them so far, sorted) are not
    // watched for the system's limit of watches.
    void partlyWatched(const QStringList& roots);

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// Lets go of up to `count` folder watches of the watchers there are, the
// deepest folders first, so that a watch that matters more (one that proves
// a disk is still the one it was, see mountIdOf) can be had under the
// system's limit. How many it let go. Any thread.
int yieldFolderWatches(int count);

} // namespace pivra
