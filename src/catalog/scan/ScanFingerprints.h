#pragma once

#include "catalog/scan/JoinedText.h"
#include "catalog/scan/TextArena.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pivra {

// What the catalog knew of a file when a scan began: enough to tell an
// untouched file from a changed one without opening it.
struct FileFingerprint {
    double modified = 0;
    std::int64_t fileSize = 0;
    bool liveChecked = false;

    bool matches(double otherModified, std::int64_t otherSize) const
    {
        return modified == otherModified && fileSize == otherSize;
    }
};

struct RelativeFingerprint {
    QString id;
    FileFingerprint fingerprint;
};

// A row found by its id: its number in the set, and what it knew of the file.
struct KnownRow {
    std::uint32_t row = 0;
    FileFingerprint fingerprint;
};

// The fingerprints of one source's fully inspected rows, by item id and by
// path below the source's root.
//
// A rescan holds one for every file of its source, so the set is compact. A
// file's id is its source's prefix, the root it was scanned from, "/" and its
// relative path; such a row keeps only its relative path, as UTF-8 in one
// arena, and the number of its head (the id up to the relative path) in a
// short list the rows share. A row whose id does not end with its relative
// path, or that has none, keeps its whole id instead. Each row is a fixed
// entry of where its text lies and its fingerprint. An open-addressing index
// of 32-bit slots (the entry's number plus one; 0 is empty), probed linearly
// and sized once, when the set is built, to at most two thirds full, finds
// rows by id: ids are hashed and compared in pieces, never made whole. A
// relative path is looked for as the id it makes under each head, and among
// the rows that keep their whole id in a small index of its own. Neither the
// arena nor the entries move as they grow, so reading the rows never holds
// them twice.
//
// The set also lists, by id only, the source's rows that must be inspected
// again (an older inspection, a file that could not be read): no key finds
// them, but a scan deletes them like the others when their file is gone.
//
// Keys are compared as bytes: two spellings of one name (composed and
// decomposed accents) are two keys. Ids are unique, as the catalog's are; a
// key added twice finds the row added last. Immutable once built, so threads
// may share it.
class ScanFingerprints {
public:
    class Builder;

    // The row whose id is `head` followed by `relative`, both UTF-8.
    std::optional<KnownRow> rowByID(std::string_view head, std::string_view relative = {}) const;
    // Whether the row numbered `row` holds `relative` (UTF-8) as its relative path.
    bool relativeIs(std::uint32_t row, std::string_view relative) const;
    // The row whose relative path is `relative`, with its id as text.
    std::optional<RelativeFingerprint> byRelative(QStringView relative) const;

    // Every row of the source, numbered from 0, those no key finds included.
    std::uint32_t rowCount() const { return static_cast<std::uint32_t>(entries_.size()); }
    QString idAt(std::uint32_t row) const;

private:
    // A row that keeps its whole id, the relative path after it unless it ends the id.
    struct WholeRow {
        TextArena::Place text = 0;
        std::uint32_t idSize = 0;
        std::uint32_t relativeSize = 0; // 0: the row is not found by relative path
        bool relativeEndsID = false;
    };
    struct Entry {
        // The relative path; for a whole row, its number among wholeRows_.
        std::uint32_t text = 0;
        std::uint16_t relativeSize = 0;
        std::uint8_t head = 0; // in heads_; wholeHead: the row keeps its whole id
        bool liveChecked = false;
        double modified = 0;
        std::int64_t fileSize = 0;
    };
    using Slots = std::vector<std::uint32_t>;
    using KeyOf = JoinedText (ScanFingerprints::*)(std::uint32_t entry) const;

    static constexpr std::uint8_t wholeHead = 0xff;
    // Heads beyond these many are rare (each root a source was ever scanned
    // from is one); their rows keep their whole ids rather than every
    // relative path being looked for under all of them.
    static constexpr std::size_t mostHeads = 16;

    JoinedText idOf(std::uint32_t entry) const;
    std::string_view relativeOf(std::uint32_t entry) const;
    JoinedText wholeRelativeOf(std::uint32_t entry) const;
    // The slot that holds `key`, or the empty one where it would go.
    std::size_t slotOf(const Slots& slots, KeyOf keyOf, JoinedText key) const;
    void index(Slots& slots, KeyOf keyOf, std::uint32_t entry);
    // The number plus one of the entry that holds `key`; 0 for none.
    std::uint32_t find(const Slots& slots, KeyOf keyOf, JoinedText key) const;
    KnownRow known(std::uint32_t entry) const;

    TextArena arena_;
    std::deque<Entry> entries_;
    std::vector<WholeRow> wholeRows_;
    std::vector<std::string> heads_;
    Slots byID_;
    Slots wholeByRelative_; // whole rows only; the others are found by id
};

// Collects the rows of a set, then indexes them once.
class ScanFingerprints::Builder {
public:
    // `relative` is empty for a row without one: it is found by id only.
    void add(std::string_view id, std::string_view relative, const FileFingerprint& fingerprint);
    // A row of the source that must be inspected again whatever its file's date and size.
    void addToInspect(std::string_view id);
    ScanFingerprints build() &&;

private:
    // The number of the head `head`, taken into the list when there is room.
    std::optional<std::uint8_t> headNumber(std::string_view head);
    void addWhole(Entry entry, std::string_view id, std::string_view relative);

    ScanFingerprints set_;
    std::vector<bool> found_; // false: listed, but no key finds it
    std::uint8_t lastHead_ = 0;
};

} // namespace pivra
