#pragma once

#include <QList>
#include <QUuid>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
// catalog changes.
class DuplicateCandidates {
public:
    // Reads the whole catalog through `readers`, several statements at once.
    explicit DuplicateCandidates(CatalogReaders& readers);

    // Whether a duplicate rule may involve the row in some scope.
    bool contains(std::int64_t rowid) const;

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
};

} // namespace pivra
