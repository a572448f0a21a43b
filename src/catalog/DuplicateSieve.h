#pragma once

#include "catalog/Sqlite.h"

#include <QList>
#include <QUuid>
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace pivra {

// Where the values that the duplicate rules compare lie in a row.
struct TwinColumns {
    int rowid;
    int sourceID;
    int name;
    int kind;
    int captured;
    int width;
    int height;
    int fileSize;
    int thumbnailKey;
    int relativePath;
};

// Finds the rows of a gallery scope that a duplicate inside the same scope
// hides, by the three rules of GalleryScope::predicate(): the same media key,
// the same file seen twice before its key is known, and an unedited IMG_
// photo beside its IMG_E copy. The gallery's neighbour step runs those rules
// as SQL; here they give the same rows for a whole scope at once.
//
// As SQL they are correlated subqueries, a few index probes for every row,
// which takes seconds on a large library. The sieve takes each row of the
// scope once and keeps only hashes of its rule keys; afterwards it reads
// again, exactly, just the rows whose hash another row shares, and decides
// on those.
class DuplicateSieve {
public:
    // The columns in the order of `twinColumns`, for a pass that selects
    // nothing else.
    static const char* const twinColumnList;
    static const TwinColumns twinColumns;

    explicit DuplicateSieve(const QList<QUuid>& offlineSources);

    // Takes one row of the scope. Every row of the scope must be given, also
    // one that reads as no item: it still hides its twins.
    void add(const sqlite::Statement& row, const TwinColumns& columns);

    std::int64_t rowCount() const { return static_cast<std::int64_t>(rows_.size()); }

    // The rowids of the rows that a twin hides, ascending. The candidates are
    // read again by rowid, so this must run inside the read transaction that
    // gave the rows to add().
    std::vector<std::int64_t> hiddenRows(sqlite3* db) const;

private:
    struct RowHashes {
        std::int64_t rowid = 0;
        std::uint64_t content = 0;
        std::uint64_t file = 0;
        std::uint64_t editedLookup = 0;
        std::uint8_t flags = 0;
    };
    struct Hider {
        std::uint64_t hash = 0;
        std::int64_t rowid = 0;
    };

    std::vector<std::int64_t> candidateRows() const;

    std::vector<std::string> offlineSources_;
    std::vector<RowHashes> rows_;
    std::vector<Hider> hiders_;
};

} // namespace pivra
