#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct sqlite3;

namespace pivra {

// The rowids of the `media` rows that one connection inserts, updates or
// deletes, as SQLite reports them, kept until taken: what a set built from an
// earlier state of the table must read again to be current. Past `most` rows
// it keeps only the fact that there were too many, since reading them again
// would cost more than reading everything. (SQLite does not report the rows
// of a DELETE without WHERE, which empties the table at once; the catalog
// writes none.)
//
// Called by SQLite on the connection's own thread, inside its writes. The
// connection must stay open while the watcher lives.
class WrittenRows {
public:
    WrittenRows(sqlite3* db, std::size_t most);
    ~WrittenRows();

    WrittenRows(const WrittenRows&) = delete;
    WrittenRows& operator=(const WrittenRows&) = delete;

    // Whether more rows than `most` were written since the last take().
    bool overflowed() const { return overflowed_; }

    // The rows written since the last take(), in the order written, with
    // repeats; empty after an overflow. Starts counting again.
    std::vector<std::int64_t> take();

private:
    static void onWrite(void* self, int operation, const char* database, const char* table, std::int64_t rowid);

    sqlite3* db_;
    std::size_t most_;
    bool overflowed_ = false;
    std::vector<std::int64_t> rows_;
};

} // namespace pivra
