#include "catalog/DuplicateCandidates.h"

#include "catalog/Sqlite.h"

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

// Every statement here selects these columns in this order.
enum Column { rowidColumn, sourceColumn, nameColumn, kindColumn, capturedColumn, widthColumn, heightColumn,
              fileSizeColumn, thumbnailKeyColumn, relativePathColumn, idColumn };
constexpr const char* rowColumns =
    "SELECT rowid,source_id,name,kind,captured,width,height,file_size,thumbnail_key,relative_path,id FROM media";

using Record = DuplicateCandidates::Record;

// The rule keys of one row. Every row of the catalog passes here, so the
// keys are built in place, without temporary strings.
void readTwinKeys(sqlite3_stmt* row, Record& keys)
{
    keys.content.clear();
    keys.file.clear();
    keys.editedSelf.clear();
    keys.editedLookup.clear();

    if (!appendValue(keys.content, row, thumbnailKeyColumn)) {
        keys.content.clear();
    }
    for (const int column : {fileSizeColumn, kindColumn, capturedColumn, widthColumn, heightColumn}) {
        if (!appendValue(keys.file, row, column)) {
            keys.file.clear();
            break;
        }
    }

    if (sqlite3_column_type(row, nameColumn) == SQLITE_NULL) {
        return;
    }
    const std::string_view name = columnBytes(row, nameColumn);
    const bool edited = name.starts_with("IMG_E");
    const bool unedited = isUneditedName(name);
    if (!edited && !unedited) {
        return;
    }
    std::string& key = edited ? keys.editedSelf : keys.editedLookup;
    if (!appendValue(key, row, sourceColumn) || !appendValue(key, row, kindColumn)) {
        key.clear();
        return;
    }
    const int placeColumn =
        sqlite3_column_type(row, relativePathColumn) == SQLITE_NULL ? nameColumn : relativePathColumn;
    if (edited) {
        appendValue(key, row, nameColumn);
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

// What the first pass keeps of a row: hashes of its keys.
struct RowHashes {
    std::int64_t rowid = 0;
    std::uint64_t content = 0;
    std::uint64_t file = 0;
    std::uint64_t editedLookup = 0;
    std::uint8_t flags = 0;
};
enum RowFlag : std::uint8_t { hasContent = 1, hasFile = 2, keyless = 4, unedited = 8 };

struct Hider {
    std::uint64_t hash = 0;
    std::int64_t rowid = 0;
};

// The rows whose hash of some rule key another row shares: the content and
// file rules need a second row with the key (the file rule one without a
// media key among them), the edited-copy rule an IMG_E row where an IMG_ row
// looks for one.
std::vector<std::int64_t> rowsSharingAKey(const std::vector<RowHashes>& rows, const std::vector<Hider>& hiders)
{
    HashTally contents(rows.size());
    HashTally files(rows.size());
    HashTally lookups(rows.size());
    HashTally hiderHashes(hiders.size());
    for (const RowHashes& row : rows) {
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
    for (const Hider& hider : hiders) {
        hiderHashes.add(hider.hash);
    }

    std::vector<std::int64_t> shared;
    for (const RowHashes& row : rows) {
        if (((row.flags & hasContent) && contents.count(row.content) > 1)
            || ((row.flags & hasFile) && files.count(row.file) > 1 && files.markedCount(row.file) > 0)
            || ((row.flags & unedited) && hiderHashes.count(row.editedLookup) > 0)) {
            shared.push_back(row.rowid);
        }
    }
    for (const Hider& hider : hiders) {
        if (lookups.count(hider.hash) > 0) {
            shared.push_back(hider.rowid);
        }
    }
    std::sort(shared.begin(), shared.end());
    shared.erase(std::unique(shared.begin(), shared.end()), shared.end());
    return shared;
}

// A candidate inside the scope at hand, with what the preference compares:
// the offline rank first, then the id as SQLite orders text.
struct Ranked {
    const Record* record = nullptr;
    int rank = 0;

    bool preferredTo(const Ranked& other) const
    {
        return rank != other.rank ? rank < other.rank : record->id < other.record->id;
    }
};

// The preferred row of a group, by the order of Ranked::preferredTo.
class Preferred {
public:
    void offer(const Ranked& candidate)
    {
        if (best_ == nullptr || candidate.preferredTo(*best_)) {
            best_ = &candidate;
        }
    }
    // Whether a row of the group other than `candidate` wins over it.
    bool beats(const Ranked& candidate) const
    {
        return best_ != nullptr && best_ != &candidate && best_->preferredTo(candidate);
    }

private:
    const Ranked* best_ = nullptr;
};

struct FileGroup {
    Preferred all;
    Preferred keyless;
};

// 2^23 bits (1 MB): exact for rowids below eight million.
constexpr std::size_t quickBitWords = std::size_t{1} << 17;

} // namespace

DuplicateCandidates::DuplicateCandidates(sqlite3* db)
{
    std::vector<RowHashes> rows;
    std::vector<Hider> hiders;
    {
        sqlite::Statement pass(db, rowColumns);
        Record keys;
        while (pass.nextRowChecked()) {
            sqlite3_stmt* row = pass.handle();
            readTwinKeys(row, keys);
            RowHashes hashes;
            hashes.rowid = sqlite3_column_int64(row, rowidColumn);
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
                hiders.push_back({hashOf(keys.editedSelf), hashes.rowid});
            }
            rows.push_back(hashes);
        }
    }

    rowids_ = rowsSharingAKey(rows, hiders);
    rows = {};
    quickBits_.assign(quickBitWords, 0);
    for (const std::int64_t rowid : rowids_) {
        const auto bit = static_cast<std::uint64_t>(rowid) & (quickBitWords * 64 - 1);
        quickBits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    records_.reserve(rowids_.size());
    sqlite::Statement refetch(db, std::string(rowColumns).append(" WHERE rowid=?").c_str());
    for (const std::int64_t rowid : rowids_) {
        refetch.resetForReuse();
        refetch.bindInt64(1, rowid);
        if (!refetch.nextRowChecked()) {
            throw CatalogError(CatalogError::Kind::step); // the pass saw it in this same transaction
        }
        Record& record = records_.emplace_back();
        readTwinKeys(refetch.handle(), record);
        record.rowid = rowid;
        record.id = plainValue(refetch.handle(), idColumn);
        record.source = plainValue(refetch.handle(), sourceColumn);
    }
}

bool DuplicateCandidates::contains(std::int64_t rowid) const
{
    const auto bit = static_cast<std::uint64_t>(rowid) & (quickBitWords * 64 - 1);
    return ((quickBits_[bit / 64] >> (bit % 64)) & 1) != 0 && std::binary_search(rowids_.begin(), rowids_.end(), rowid);
}

std::vector<std::int64_t> DuplicateCandidates::hiddenAmong(std::vector<std::int64_t> rowsInScope,
                                                           const QList<QUuid>& offlineSources) const
{
    std::vector<std::string> offline;
    for (const QUuid& source : offlineSources) {
        offline.push_back(static_cast<char>(textTag) + uuidString(source).toStdString());
    }
    std::sort(rowsInScope.begin(), rowsInScope.end());
    std::vector<Ranked> inScope;
    inScope.reserve(rowsInScope.size());
    for (const std::int64_t rowid : rowsInScope) {
        const auto at = std::lower_bound(rowids_.begin(), rowids_.end(), rowid);
        if (at == rowids_.end() || *at != rowid) {
            continue;
        }
        const Record& record = records_[static_cast<std::size_t>(at - rowids_.begin())];
        const bool isOffline = std::find(offline.begin(), offline.end(), record.source) != offline.end();
        inScope.push_back({&record, isOffline ? 1 : 0});
    }

    std::unordered_map<std::string_view, Preferred> contentGroups;
    std::unordered_map<std::string_view, FileGroup> fileGroups;
    std::unordered_set<std::string_view> editedCopies;
    for (const Ranked& candidate : inScope) {
        const Record& record = *candidate.record;
        if (!record.id.empty()) {
            if (!record.content.empty()) {
                contentGroups[record.content].offer(candidate);
            }
            if (!record.file.empty()) {
                FileGroup& group = fileGroups[record.file];
                group.all.offer(candidate);
                if (record.content.empty()) {
                    group.keyless.offer(candidate);
                }
            }
        }
        if (!record.editedSelf.empty()) {
            editedCopies.insert(record.editedSelf);
        }
    }

    std::vector<std::int64_t> hidden;
    for (const Ranked& candidate : inScope) {
        const Record& record = *candidate.record;
        bool isHidden = !record.editedLookup.empty() && editedCopies.contains(record.editedLookup);
        if (!record.id.empty() && !isHidden) {
            isHidden = !record.content.empty() && contentGroups.at(record.content).beats(candidate);
            if (!isHidden && !record.file.empty()) {
                const FileGroup& group = fileGroups.at(record.file);
                // A row without a key yields to any preferred twin; one with
                // a key only to a preferred twin without one.
                isHidden = record.content.empty() ? group.all.beats(candidate) : group.keyless.beats(candidate);
            }
        }
        if (isHidden) {
            hidden.push_back(record.rowid);
        }
    }
    return hidden;
}

} // namespace pivra
