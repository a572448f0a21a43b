#pragma once

#include "catalog/Sqlite.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace pivra {

// Copies the catalog's write-ahead log back into the database file on a
// thread and a connection of its own, so the catalog's thread, which makes
// every write, does not stop for the copy and its fsync after a commit: in a
// first scan of many photos, copying on the writer took a fifth of its time.
//
// Once the log holds `startPages` pages after a commit, the thread is woken
// for a passive checkpoint, which never blocks the writer or the readers.
// SQLite starts the log over only when a write begins with every page
// copied, which a busy writer never leaves time for: once the log reaches
// `limitPages`, the writer copies what is left itself, so the log never
// holds more than that and one commit. Should the connection not open, SQLite's own checkpoints stay.
class WalCheckpointer {
public:
    WalCheckpointer(sqlite3* writer, const QString& path, int startPages, int limitPages);
    // Stops the thread and closes its connection, before the writer closes.
    ~WalCheckpointer();

    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

private:
    static int afterCommit(void* self, sqlite3* writer, const char* schema, int pages);
    void copyWhenAsked(const std::stop_token& stop);

    sqlite3* writer_;
    const int startPages_;
    const int limitPages_;
    sqlite::Connection connection_;
    std::mutex mutex_; // guards wanted_
    std::condition_variable_any asked_;
    bool wanted_ = false;
    std::mutex copying_; // held through each checkpoint
    std::jthread thread_;
};

} // namespace pivra
