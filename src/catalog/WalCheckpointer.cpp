#include "catalog/WalCheckpointer.h"

#include <QFile>

#include <sqlite3.h>

namespace pivra {

WalCheckpointer::WalCheckpointer(sqlite3* writer, const QString& path, int startPages, int limitPages)
    : writer_(writer), startPages_(startPages), limitPages_(limitPages)
{
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &opened,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    connection_.reset(opened); // closed by the deleter also when opening failed
    // A connection learns that the file is in WAL mode only by reading it;
    // until then a checkpoint does nothing.
    if (result != SQLITE_OK || !sqlite::execIgnoringFailure(opened, "SELECT count(*) FROM sqlite_schema")) {
        connection_.reset();
        return;
    }
    thread_ = std::jthread([this](const std::stop_token& stop) { copyWhenAsked(stop); });
    sqlite3_wal_hook(writer_, &WalCheckpointer::afterCommit, this);
}

WalCheckpointer::~WalCheckpointer()
{
    if (!connection_) {
        return;
    }
    sqlite3_wal_autocheckpoint(writer_, startPages_); // SQLite's own, for the writer's last commits
    thread_.request_stop();
    thread_.join();
}

int WalCheckpointer::afterCommit(void* self, sqlite3* writer, const char* schema, int pages)
{
    auto* checkpointer = static_cast<WalCheckpointer*>(self);
    if (pages >= checkpointer->limitPages_) {
        // After the thread's copy, if one runs: copying at the same time,
        // the writer's would give up at once and leave the log growing.
        const std::lock_guard copying(checkpointer->copying_);
        sqlite3_wal_checkpoint_v2(writer, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    } else if (pages >= checkpointer->startPages_) {
        const std::lock_guard lock(checkpointer->mutex_);
        checkpointer->wanted_ = true;
        checkpointer->asked_.notify_one();
    }
    return SQLITE_OK;
}

void WalCheckpointer::copyWhenAsked(const std::stop_token& stop)
{
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (!asked_.wait(lock, stop, [this] { return wanted_; })) {
                return;
            }
            wanted_ = false;
        }
        // Blocked by a reader, it copies what it can; the next commit asks again.
        const std::lock_guard copying(copying_);
        sqlite3_wal_checkpoint_v2(connection_.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
}

} // namespace pivra
