#pragma once

#include <QList>
#include <QUuid>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace pivra {

class CatalogReaders;

// The rows of the catalog that a duplicate rule can touch in some scope, and
// the rules' verdict among those of them that lie in one scope.
//
// The rules are those of GalleryScope::predicate(): the same media key, the
// same file seen twice before its key is known, and an unedited IMG_ photo
// beside its IMG_E copy. The gallery's neighbour step runs them as SQL; there
// they are correlated subqueries, a few index probes for every row, which
// takes seconds on a large library. Here one pass over the catalog keeps a
// hash of each row's rule keys; only the rows whose hash another row shares
// are read again, exactly, and kept. A scope's hidden rows are then decided
// among the candidates inside it, and the set serves every scope until the
// catalog changes; a change of a few rows is brought in by reading those rows
// and the rows that share a key with them.
class DuplicateCandidates {
public:
    // Reads the whole catalog through `readers`, several statements at once.
    explicit DuplicateCandidates(CatalogReaders& readers);

    // Brings the set up to the catalog as `db` reads it after the rows
    // `written` were inserted, changed or deleted (rowids, with repeats):
    // reads those rows, and through the indexes that find equal keys the
    // rows that share a key with them. A row that no longer shares a key may
    // stay in the set; the rules find no twin of it.
    void update(sqlite3* db, std::vector<std::int64_t> written);

    // Whether a duplicate rule may involve the row in some scope.
    bool contains(std::int64_t rowid) const;

    // The rows read to build the set and bring it up to date: the work it
    // cost, which tests count.
    std::int64_t rowsRead() const { return rowsRead_; }

    // Of `rowsInScope`, candidates that are all the candidates inside one
    // scope, the rows that a twin among them hides, ascending.
    std::vector<std::int64_t> hiddenAmong(std::vector<std::int64_t> rowsInScope,
                                          const QList<QUuid>& offlineSources) const;

    // The statements that find the candidates: the rows with equal media
    // keys, with equal sizes, kinds and dates, and every source and name.
    // Each walks one covering index and reads no table row.
    static const std::array<const char*, 3> indexWalks;

private:
    // A candidate's rule keys as group numbers (0: the row has no such key;
    // two candidates share a number exactly when they share the key), its
    // source as an index into sources_, and its id as a span of ids_ (a
    // negative length for a NULL id, which is no twin of anything).
    struct Record {
        std::int64_t rowid = 0;
        std::uint32_t content = 0;
        std::uint32_t file = 0;
        std::uint32_t editedSelf = 0;   // as an IMG_E copy
        std::uint32_t editedLookup = 0; // as an IMG_ photo: what its copy would be
        std::uint32_t source = 0;
        std::uint32_t idOffset = 0;
        std::int32_t idLength = -1;
    };

    // One bit per rowid modulo its size: every row of a scope asks
    // contains(), and few are candidates, so most answers come from here.
    std::vector<std::uint64_t> quickBits_;
    std::vector<std::int64_t> rowids_; // ascending
    std::vector<Record> records_;      // in the order of rowids_
    std::vector<std::string> sources_;
    std::string ids_;
    // The next group number of each kind of key: content, file, edited name.
    std::array<std::uint32_t, 3> nextNumber_{1, 1, 1};
    std::int64_t rowsRead_ = 0;

    const Record* recordOf(std::int64_t rowid) const;
    // Sets the record's source, numbered in `sourceNumbers` (a NULL source is
    // an empty text), and its id (empty for NULL).
    void identify(Record& record, const std::string& source, const std::string& id,
                  std::unordered_map<std::string, std::uint32_t>& sourceNumbers);
};

} // namespace pivra
