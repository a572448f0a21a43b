#pragma once

#include <QString>

namespace pivra {

// Keeps a catalog file to one process at a time: an exclusive lock on the
// file "<catalog>.lock" beside it, held while this object lives.
//
// SQLite's own locks let two processes share the file, and the scans of two
// processes would then delete each other's rows as stale. The lock is an
// advisory flock() on a file of its own, so it dies with the process (a crash
// leaves nothing to clean up) and never touches the database's own locks. Two
// catalogs of one process on the same file exclude each other too.
//
// A copy of the program that is ending holds the lock until its last writes
// are in, a moment after it stopped taking launches: a launch made then (a
// quit and a start at once, a session restored) waits for it a while, the
// lock file held open, trying again every few milliseconds.
class CatalogLock {
public:
    // Throws CatalogError `open` when the lock file cannot be made, or when
    // another holder still has the lock after `waitMilliseconds` (0: at once).
    // Waits on the calling thread.
    explicit CatalogLock(const QString& databasePath, int waitMilliseconds = 0);
    ~CatalogLock();

    // Every wait, under way or to come, gives up at once: the program ends,
    // and nothing of this run can have been written to a catalog that did
    // not open yet.
    static void endWaits();

    CatalogLock(const CatalogLock&) = delete;
    CatalogLock& operator=(const CatalogLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace pivra
