#include "catalog/duplicates/WrittenRows.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

namespace pivra {

WrittenRows::WrittenRows(sqlite3* db, std::size_t most) : db_(db), most_(most)
{
    sqlite3_update_hook(
        db_,
        [](void* self, int operation, const char* database, const char* table, sqlite3_int64 rowid) {
            onWrite(self, operation, database, table, rowid);
        },
        this);
}

WrittenRows::~WrittenRows()
{
    sqlite3_update_hook(db_, nullptr, nullptr);
}

std::vector<std::int64_t> WrittenRows::take()
{
    overflowed_ = false;
    return std::exchange(rows_, {});
}

void WrittenRows::onWrite(void* self, int /*operation*/, const char* database, const char* table, std::int64_t rowid)
{
    auto* watcher = static_cast<WrittenRows*>(self);
    if (watcher->overflowed_ || std::strcmp(table, "media") != 0 || std::strcmp(database, "main") != 0) {
        return;
    }
    if (watcher->rows_.size() >= watcher->most_) {
        watcher->overflowed_ = true;
        watcher->rows_ = {};
        return;
    }
    watcher->rows_.push_back(rowid);
}

} // namespace pivra
