#pragma once

#include "catalog/scan/TextArena.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <optional>
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
// A rescan holds one for every file of its source, so the set is compact:
// the ids and relative paths lie as UTF-8 in one arena, each row is a fixed
// entry of where its text lies and its fingerprint, and each key has an
// open-addressing index of 32-bit slots (the entry's number plus one; 0 is
// empty), probed linearly and sized once, when the set is built, to at most
// two thirds full. A relative path that ends its row's id, as a file's does
// below the root it was scanned from, shares the id's bytes; else it follows
// them. Neither the arena nor the entries move as they grow, so reading the
// rows never holds them twice.
//
// The set also lists, by id only, the source's rows that must be inspected
// again (an older inspection, a file that could not be read): no key finds
// them, but a scan deletes them like the others when their file is gone.
//
// Keys are compared as bytes: two spellings of one name (composed and
// decomposed accents) are two keys. A key added twice finds the row added
// last. Immutable once built, so threads may share it.
class ScanFingerprints {
public:
    class Builder;

    // The row whose id is `id`, given as UTF-8.
    std::optional<KnownRow> rowByID(std::string_view id) const;
    // Whether the row numbered `row` holds `relative` (UTF-8) as its relative path.
    bool relativeIs(std::uint32_t row, std::string_view relative) const;
    // The row whose relative path is `relative`, with its id as text.
    std::optional<RelativeFingerprint> byRelative(QStringView relative) const;

    // Every row of the source, numbered from 0, those no key finds included.
    std::uint32_t rowCount() const { return static_cast<std::uint32_t>(entries_.size()); }
    std::string_view idAt(std::uint32_t row) const { return idOf(entries_[row]); }

private:
    struct Entry {
        TextArena::Place text;          // the id, then the relative path unless it ends the id
        std::uint32_t idSize = 0;
        std::uint32_t relativeSize = 0; // 0: the row is not found by relative path
        double modified = 0;
        std::int64_t fileSize = 0;
        bool relativeEndsID = false;
        bool liveChecked = false;
        bool found = true; // false: listed, but no key finds it
    };
    using Slots = std::vector<std::uint32_t>;
    using KeyOf = std::string_view (ScanFingerprints::*)(const Entry&) const;

    std::string_view idOf(const Entry& entry) const;
    std::string_view relativeOf(const Entry& entry) const;
    // The slot that holds `key`, or the empty one where it would go.
    std::size_t slotOf(const Slots& slots, KeyOf keyOf, std::string_view key) const;
    void index(Slots& slots, KeyOf keyOf, std::uint32_t entry);
    // The number plus one of the entry that holds `key`; 0 for none.
    std::uint32_t find(const Slots& slots, KeyOf keyOf, std::string_view key) const;
    std::uint32_t find(const Slots& slots, KeyOf keyOf, QStringView key) const;

    TextArena arena_;
    std::deque<Entry> entries_;
    Slots byID_;
    Slots byRelative_;
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
    ScanFingerprints set_;
};

} // namespace pivra
