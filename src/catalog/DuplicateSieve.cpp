#include "catalog/DuplicateSieve.h"

#include "catalog/Uuid.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace pivra {

namespace {

// Values are kept as their storage class and bytes, so that two keys are
// equal exactly when SQLite's "=" finds each of their values equal: an
// integer and a real of the same value are one number, text never equals a
// number or a blob, and text compares by its bytes. A single value without a
// length prefix also orders as SQLite's binary collation orders text.
enum ValueTag : char { numberTag = '1', textTag = '2', blobTag = '3' };

void appendLength(std::string& key, std::size_t length)
{
    const auto size = static_cast<std::uint32_t>(length);
    key.append(reinterpret_cast<const char*>(&size), sizeof size);
}

std::string_view columnBytes(sqlite3_stmt* row, int column)
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(row, column));
    return {data == nullptr ? "" : data, static_cast<std::size_t>(sqlite3_column_bytes(row, column))};
}

// Appends one value, length-prefixed; false for NULL, which equals nothing.
bool appendValue(std::string& key, sqlite3_stmt* row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_INTEGER: {
        const std::int64_t value = sqlite3_column_int64(row, column);
        key.push_back(numberTag);
        key.push_back('i');
        key.append(reinterpret_cast<const char*>(&value), sizeof value);
        return true;
    }
    case SQLITE_FLOAT: {
        const double value = sqlite3_column_double(row, column);
        // A whole number within 64 bits equals the integer of that value.
        if (value >= -9223372036854775808.0 && value < 9223372036854775808.0 && std::trunc(value) == value) {
            const auto whole = static_cast<std::int64_t>(value);
            key.push_back(numberTag);
            key.push_back('i');
            key.append(reinterpret_cast<const char*>(&whole), sizeof whole);
        } else {
            const auto bits = std::bit_cast<std::uint64_t>(value);
            key.push_back(numberTag);
            key.push_back('r');
            key.append(reinterpret_cast<const char*>(&bits), sizeof bits);
        }
        return true;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const std::string_view bytes = columnBytes(row, column);
        key.push_back(sqlite3_column_type(row, column) == SQLITE_TEXT ? textTag : blobTag);
        appendLength(key, bytes.size());
        key.append(bytes);
        return true;
    }
    default:
        return false;
    }
}

// The one value of `column` as a comparable text: its tag and bytes, empty
// for NULL.
std::string plainValue(sqlite3_stmt* row, int column)
{
    const int type = sqlite3_column_type(row, column);
    if (type == SQLITE_NULL) {
        return {};
    }
    std::string value(1, type == SQLITE_BLOB ? blobTag : type == SQLITE_TEXT ? textTag : numberTag);
    value.append(columnBytes(row, column)); // numbers never reach here: ids and sources are text
    return value;
}

// SQLite's character walk: a lead byte takes its continuation bytes with it,
// and the text ends at its first NUL.
std::size_t skipCharacters(std::string_view text, std::size_t characters)
{
    std::size_t at = 0;
    while (characters > 0 && at < text.size() && text[at] != '\0') {
        const auto lead = static_cast<unsigned char>(text[at++]);
        if (lead >= 0xC0) {
            while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
                ++at;
            }
        }
        --characters;
    }
    return at;
}

// length(): the characters before the first NUL.
std::int64_t characterCount(std::string_view text)
{
    std::int64_t count = 0;
    for (std::size_t at = 0; at < text.size() && text[at] != '\0'; at += skipCharacters(text.substr(at), 1)) {
        ++count;
    }
    return count;
}

// GLOB 'IMG_[0-9]*', which is case-sensitive.
bool isUneditedName(std::string_view name)
{
    return name.size() >= 5 && name.starts_with("IMG_") && name[4] >= '0' && name[4] <= '9';
}

struct TwinKeys {
    std::string content;      // the media key; empty when it is NULL
    std::string file;         // size, kind, date and dimensions; empty when one is NULL
    std::string editedSelf;   // as an IMG_E copy: source, kind, name and place
    std::string editedLookup; // as an IMG_ photo: what its IMG_E copy would hold
};

// The keys of one row, written so that two rows share a key exactly when the
// rule's SQL comparisons all hold between them. Nearly every row passes here,
// so the keys are built in place, without temporary strings.
void readTwinKeys(sqlite3_stmt* row, const TwinColumns& columns, TwinKeys& keys)
{
    keys.content.clear();
    keys.file.clear();
    keys.editedSelf.clear();
    keys.editedLookup.clear();

    if (!appendValue(keys.content, row, columns.thumbnailKey)) {
        keys.content.clear();
    }
    for (const int column : {columns.fileSize, columns.kind, columns.captured, columns.width, columns.height}) {
        if (!appendValue(keys.file, row, column)) {
            keys.file.clear();
            break;
        }
    }

    if (sqlite3_column_type(row, columns.name) == SQLITE_NULL) {
        return;
    }
    const std::string_view name = columnBytes(row, columns.name);
    const bool edited = name.starts_with("IMG_E");
    const bool unedited = isUneditedName(name);
    if (!edited && !unedited) {
        return;
    }
    std::string& key = edited ? keys.editedSelf : keys.editedLookup;
    if (!appendValue(key, row, columns.sourceID) || !appendValue(key, row, columns.kind)) {
        key.clear();
        return;
    }
    const int placeColumn =
        sqlite3_column_type(row, columns.relativePath) == SQLITE_NULL ? columns.name : columns.relativePath;
    if (edited) {
        appendValue(key, row, columns.name);
        appendValue(key, row, placeColumn);
        return;
    }
    // twin.name = 'IMG_E' || substr(name, 5), and the twin's place must be
    // this row's place with as many characters cut off its end as the name
    // has, and the twin's name put in their stead.
    const std::string_view editedPrefix = "IMG_E";
    const std::string_view nameRest = name.substr(4);
    const std::string_view place = columnBytes(row, placeColumn);
    const std::int64_t kept = characterCount(place) - characterCount(name);
    const std::string_view placeFolder = place.substr(0, kept > 0 ? skipCharacters(place, static_cast<std::size_t>(kept)) : 0);
    key.push_back(textTag);
    appendLength(key, editedPrefix.size() + nameRest.size());
    key.append(editedPrefix).append(nameRest);
    key.push_back(textTag);
    appendLength(key, placeFolder.size() + editedPrefix.size() + nameRest.size());
    key.append(placeFolder).append(editedPrefix).append(nameRest);
}

std::uint64_t hashOf(const std::string& key)
{
    return std::hash<std::string_view>{}(key);
}

// How often each hash occurs, in a flat open-addressed table sized once for
// all the rows: a million entries take milliseconds instead of the
// allocations of a node-based map.
class HashTally {
public:
    explicit HashTally(std::size_t entries) : slots_(std::bit_ceil(entries + entries / 2 + 1)) {}

    // Counts `hash`; `marked` counts the occurrences that carry a mark.
    void add(std::uint64_t hash, bool marked = false)
    {
        Slot& slot = slots_[indexFor(hash)];
        slot.hash = hash;
        ++slot.count;
        slot.marked += marked ? 1 : 0;
    }

    std::uint32_t count(std::uint64_t hash) const { return slots_[indexFor(hash)].count; }
    std::uint32_t markedCount(std::uint64_t hash) const { return slots_[indexFor(hash)].marked; }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t count = 0; // 0: the slot is free
        std::uint32_t marked = 0;
    };

    std::size_t indexFor(std::uint64_t hash) const
    {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = hash & mask;
        while (slots_[at].count != 0 && slots_[at].hash != hash) {
            at = (at + 1) & mask;
        }
        return at;
    }

    std::vector<Slot> slots_;
};

enum RowFlag : std::uint8_t { hasContent = 1, hasFile = 2, keyless = 4, unedited = 8 };

// One re-read candidate, with what the preference compares: the offline rank
// first, then the id as SQLite orders text.
struct Candidate {
    std::int64_t rowid = 0;
    int rank = 0;
    std::string id; // empty for a NULL id, which is no twin of anything
    TwinKeys keys;

    bool preferredTo(const Candidate& other) const
    {
        return rank != other.rank ? rank < other.rank : id < other.id;
    }
};

// The preferred row of a group, by the order of Candidate::preferredTo.
class Preferred {
public:
    void offer(const Candidate& candidate)
    {
        if (best_ == nullptr || candidate.preferredTo(*best_)) {
            best_ = &candidate;
        }
    }
    // Whether a row of the group other than `candidate` wins over it.
    bool beats(const Candidate& candidate) const
    {
        return best_ != nullptr && best_ != &candidate && best_->preferredTo(candidate);
    }

private:
    const Candidate* best_ = nullptr;
};

struct FileGroup {
    Preferred all;
    Preferred keyless;
};

const char* const refetchStatement =
    "SELECT rowid,source_id,name,kind,captured,width,height,file_size,thumbnail_key,relative_path,id "
    "FROM media WHERE rowid=?";
constexpr int refetchIDColumn = 10;

} // namespace

const char* const DuplicateSieve::twinColumnList =
    "rowid,source_id,name,kind,captured,width,height,file_size,thumbnail_key,relative_path";
const TwinColumns DuplicateSieve::twinColumns{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

DuplicateSieve::DuplicateSieve(const QList<QUuid>& offlineSources)
{
    for (const QUuid& source : offlineSources) {
        offlineSources_.push_back(static_cast<char>(textTag) + uuidString(source).toStdString());
    }
}

void DuplicateSieve::add(const sqlite::Statement& row, const TwinColumns& columns)
{
    thread_local TwinKeys keys;
    sqlite3_stmt* statement = row.handle();
    readTwinKeys(statement, columns, keys);

    RowHashes hashes;
    hashes.rowid = sqlite3_column_int64(statement, columns.rowid);
    if (!keys.content.empty()) {
        hashes.content = hashOf(keys.content);
        hashes.flags |= hasContent;
    } else {
        hashes.flags |= keyless;
    }
    if (!keys.file.empty()) {
        hashes.file = hashOf(keys.file);
        hashes.flags |= hasFile;
    }
    if (!keys.editedLookup.empty()) {
        hashes.editedLookup = hashOf(keys.editedLookup);
        hashes.flags |= unedited;
    }
    if (!keys.editedSelf.empty()) {
        hiders_.push_back({hashOf(keys.editedSelf), hashes.rowid});
    }
    rows_.push_back(hashes);
}

std::vector<std::int64_t> DuplicateSieve::candidateRows() const
{
    HashTally contents(rows_.size());
    HashTally files(rows_.size());
    HashTally lookups(rows_.size());
    HashTally hiders(hiders_.size());
    for (const RowHashes& row : rows_) {
        if (row.flags & hasContent) {
            contents.add(row.content);
        }
        if (row.flags & hasFile) {
            files.add(row.file, (row.flags & keyless) != 0);
        }
        if (row.flags & unedited) {
            lookups.add(row.editedLookup);
        }
    }
    for (const Hider& hider : hiders_) {
        hiders.add(hider.hash);
    }

    std::vector<std::int64_t> candidates;
    for (const RowHashes& row : rows_) {
        // The file rule needs a keyless row among the twins.
        if (((row.flags & hasContent) && contents.count(row.content) > 1)
            || ((row.flags & hasFile) && files.count(row.file) > 1 && files.markedCount(row.file) > 0)
            || ((row.flags & unedited) && hiders.count(row.editedLookup) > 0)) {
            candidates.push_back(row.rowid);
        }
    }
    for (const Hider& hider : hiders_) {
        if (lookups.count(hider.hash) > 0) {
            candidates.push_back(hider.rowid);
        }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    return candidates;
}

std::vector<std::int64_t> DuplicateSieve::hiddenRows(sqlite3* db) const
{
    const std::vector<std::int64_t> rowids = candidateRows();
    if (rowids.empty()) {
        return {};
    }

    std::vector<Candidate> candidates;
    candidates.reserve(rowids.size());
    sqlite::Statement refetch(db, refetchStatement);
    for (const std::int64_t rowid : rowids) {
        refetch.resetForReuse();
        refetch.bindInt64(1, rowid);
        if (!refetch.nextRowChecked()) {
            continue;
        }
        sqlite3_stmt* row = refetch.handle();
        Candidate& candidate = candidates.emplace_back();
        candidate.rowid = rowid;
        candidate.id = plainValue(row, refetchIDColumn);
        const std::string source = plainValue(row, twinColumns.sourceID);
        candidate.rank = std::find(offlineSources_.begin(), offlineSources_.end(), source) != offlineSources_.end();
        readTwinKeys(row, twinColumns, candidate.keys);
    }

    std::unordered_map<std::string_view, Preferred> contentGroups;
    std::unordered_map<std::string_view, FileGroup> fileGroups;
    std::unordered_set<std::string_view> editedCopies;
    for (const Candidate& candidate : candidates) {
        if (!candidate.id.empty()) {
            if (!candidate.keys.content.empty()) {
                contentGroups[candidate.keys.content].offer(candidate);
            }
            if (!candidate.keys.file.empty()) {
                FileGroup& group = fileGroups[candidate.keys.file];
                group.all.offer(candidate);
                if (candidate.keys.content.empty()) {
                    group.keyless.offer(candidate);
                }
            }
        }
        if (!candidate.keys.editedSelf.empty()) {
            editedCopies.insert(candidate.keys.editedSelf);
        }
    }

    std::vector<std::int64_t> hidden;
    for (const Candidate& candidate : candidates) {
        const TwinKeys& keys = candidate.keys;
        bool isHidden = !keys.editedLookup.empty() && editedCopies.contains(keys.editedLookup);
        if (!candidate.id.empty() && !isHidden) {
            isHidden = (!keys.content.empty() && contentGroups.at(keys.content).beats(candidate));
            if (!isHidden && !keys.file.empty()) {
                const FileGroup& group = fileGroups.at(keys.file);
                // A row without a key yields to any preferred twin; one with
                // a key only to a preferred twin without one.
                isHidden = keys.content.empty() ? group.all.beats(candidate) : group.keyless.beats(candidate);
            }
        }
        if (isHidden) {
            hidden.push_back(candidate.rowid);
        }
    }
    return hidden;
}

} // namespace pivra
