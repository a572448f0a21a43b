#include "catalog/duplicates/DuplicateCandidates.h"

#include "catalog/CatalogReaders.h"
#include "catalog/Sqlite.h"

#include "catalog/model/Uuid.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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

// A row's rule keys, written so that two rows share a key exactly when the
// rule's SQL comparisons all hold between them (empty: no such key).
struct TwinKeys {
    std::string content;      // the media key
    std::string file;         // size, kind, date and dimensions
    std::string editedSelf;   // as an IMG_E copy: source, kind, name and place
    std::string editedLookup; // as an IMG_ photo: what its IMG_E copy would hold
};

// The rule keys of one row, built in place, without temporary strings.
void readTwinKeys(sqlite3_stmt* row, TwinKeys& keys)
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


// Adds the rows of each run of two or more rows with equal keys, where the
// statement selects the rowid and then the key's columns, sorted by the key.
// Equal keys are adjacent in index order, so one walk down a covering index
// finds every group without a table lookup. Answers the rows walked.
std::int64_t addRowsWithEqualKeys(sqlite3* db, const char* sql, int keyColumns, std::vector<std::int64_t>& found)
{
    std::int64_t walked = 0;
    sqlite::Statement rows(db, sql);
    std::string key;
    std::string previousKey;
    std::int64_t previousRow = 0;
    bool previousAdded = false;
    bool hasPrevious = false;
    while (rows.nextRowChecked()) {
        ++walked;
        sqlite3_stmt* row = rows.handle();
        key.clear();
        bool complete = true;
        for (int column = 1; column <= keyColumns && complete; ++column) {
            complete = appendValue(key, row, column); // NULL equals nothing
        }
        const std::int64_t rowid = sqlite3_column_int64(row, 0);
        if (complete && hasPrevious && key == previousKey) {
            if (!previousAdded) {
                found.push_back(previousRow);
            }
            found.push_back(rowid);
            previousAdded = true;
        } else {
            previousAdded = false;
        }
        hasPrevious = complete;
        previousKey.swap(key);
        previousRow = rowid;
    }
    return walked;
}

// Adds each IMG_ photo whose source holds a row named as its IMG_E copy would
// be, and those copies; their kinds and folders are compared later. Answers
// the rows walked.
std::int64_t addEditedPairs(sqlite3* db, std::vector<std::int64_t>& found)
{
    std::int64_t walked = 0;
    const auto nameKey = [](std::string_view source, std::string_view rest) {
        std::string key(source);
        key.append("\0IMG_E", 6).append(rest);
        return std::hash<std::string_view>{}(key);
    };
    std::unordered_multimap<std::uint64_t, std::int64_t> copies;
    std::vector<std::pair<std::uint64_t, std::int64_t>> originals;
    sqlite::Statement rows(db, DuplicateCandidates::indexWalks[2]);
    while (rows.nextRowChecked()) {
        ++walked;
        sqlite3_stmt* row = rows.handle();
        const std::string_view name = columnBytes(row, 2);
        if (sqlite3_column_type(row, 1) == SQLITE_NULL || sqlite3_column_type(row, 2) == SQLITE_NULL) {
            continue;
        }
        if (name.starts_with("IMG_E")) {
            copies.emplace(nameKey(columnBytes(row, 1), name.substr(5)), sqlite3_column_int64(row, 0));
        } else if (isUneditedName(name)) {
            originals.emplace_back(nameKey(columnBytes(row, 1), name.substr(4)), sqlite3_column_int64(row, 0));
        }
    }
    std::unordered_set<std::uint64_t> matched;
    for (const auto& [hash, rowid] : originals) {
        if (copies.contains(hash)) {
            found.push_back(rowid);
            matched.insert(hash);
        }
    }
    for (const std::uint64_t hash : matched) {
        const auto [first, last] = copies.equal_range(hash);
        for (auto copy = first; copy != last; ++copy) {
            found.push_back(copy->second);
        }
    }
    return walked;
}

// A candidate inside the scope at hand, with what the preference compares:
// the offline rank first, then the id as SQLite orders text.
struct Ranked {
    std::int64_t rowid = 0;
    int rank = 0;
    std::string_view id;

    bool preferredTo(const Ranked& other) const { return rank != other.rank ? rank < other.rank : id < other.id; }
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

// Numbers the distinct keys of one rule from 1; 0 stands for no key.
class KeyNumbers {
public:
    std::uint32_t numberOf(const std::string& key)
    {
        if (key.empty()) {
            return 0;
        }
        return numbers_.try_emplace(key, static_cast<std::uint32_t>(numbers_.size() + 1)).first->second;
    }

    // The number the next new key would take.
    std::uint32_t next() const { return static_cast<std::uint32_t>(numbers_.size() + 1); }

private:
    std::unordered_map<std::string, std::uint32_t> numbers_;
};

// A candidate row as read again: its rule keys, source and id.
struct FetchedRow {
    TwinKeys keys;
    std::string source;
    std::string id;
};

// Ranges of candidates per reader: more ranges than readers, so a reader that
// finishes early takes another.
constexpr std::size_t rangesPerReader = 4;

// 2^23 bits (1 MB): exact for rowids below eight million.
constexpr std::size_t quickBitWords = std::size_t{1} << 17;

// The word and the bit of a rowid in the quick bits.
std::pair<std::size_t, std::uint64_t> quickBit(std::int64_t rowid)
{
    const auto bit = static_cast<std::uint64_t>(rowid) & (quickBitWords * 64 - 1);
    return {static_cast<std::size_t>(bit / 64), std::uint64_t{1} << (bit % 64)};
}

// The kinds of key, each numbered on its own; an IMG_E copy's own key and an
// IMG_ photo's lookup are one kind, compared with each other.
enum KeyKind : std::size_t { contentKind, fileKind, editedKind };

// Another row that shares one of a row's keys; for an edited name, whether
// it shares it as the IMG_E copy.
struct Sharer {
    std::int64_t rowid = 0;
    bool asCopy = false;
};

// A row read to join the set, and for each kind of key the other rows that
// share its key of that kind.
struct JoiningRow {
    FetchedRow row;
    std::array<std::vector<Sharer>, 3> sharers;

    bool sharesAny() const
    {
        return std::any_of(sharers.begin(), sharers.end(), [](const auto& rows) { return !rows.empty(); });
    }
};

// Reads rows by rowid, and the rows that share their keys through the
// indexes that find equal media keys, equal sizes, kinds and dates, and a
// source's names.
class JoiningRows {
public:
    explicit JoiningRows(sqlite3* db)
        : byRowid_(db, std::string(rowColumns).append(" WHERE rowid=?").c_str()),
          byContent_(db, std::string(rowColumns).append(" WHERE thumbnail_key=?").c_str()),
          byFile_(db, std::string(rowColumns).append(" WHERE file_size=? AND kind=? AND captured=?").c_str()),
          byName_(db, std::string(rowColumns).append(" WHERE source_id=? AND name=?").c_str())
    {
    }

    // None when no row has the rowid.
    std::optional<JoiningRow> read(std::int64_t rowid)
    {
        byRowid_.resetForReuse();
        byRowid_.bindInt64(1, rowid);
        if (!byRowid_.nextRowChecked()) {
            return std::nullopt;
        }
        ++rowsRead;
        sqlite3_stmt* row = byRowid_.handle();
        JoiningRow joining;
        readTwinKeys(row, joining.row.keys);
        joining.row.source = plainValue(row, sourceColumn);
        joining.row.id = plainValue(row, idColumn);
        const TwinKeys& keys = joining.row.keys;
        // The lookups take the row's own values, so "=" compares them as
        // the rules do; the keys then decide exactly.
        if (!keys.content.empty()) {
            byContent_.resetForReuse();
            sqlite3_bind_value(byContent_.handle(), 1, sqlite3_column_value(row, thumbnailKeyColumn));
            collect(byContent_, rowid, [&](const TwinKeys& other) { return other.content == keys.content; },
                    joining.sharers[contentKind]);
        }
        if (!keys.file.empty()) {
            byFile_.resetForReuse();
            sqlite3_bind_value(byFile_.handle(), 1, sqlite3_column_value(row, fileSizeColumn));
            sqlite3_bind_value(byFile_.handle(), 2, sqlite3_column_value(row, kindColumn));
            sqlite3_bind_value(byFile_.handle(), 3, sqlite3_column_value(row, capturedColumn));
            collect(byFile_, rowid, [&](const TwinKeys& other) { return other.file == keys.file; },
                    joining.sharers[fileKind]);
        }
        const std::string& edited = keys.editedSelf.empty() ? keys.editedLookup : keys.editedSelf;
        if (!edited.empty()) {
            // A copy's photo and a photo's copy, both named from the rest.
            const std::string_view name = columnBytes(row, nameColumn);
            const std::string_view rest = name.substr(name.starts_with("IMG_E") ? 5 : 4);
            for (const std::string_view prefix : {std::string_view("IMG_"), std::string_view("IMG_E")}) {
                const std::string other = std::string(prefix).append(rest);
                byName_.resetForReuse();
                sqlite3_bind_value(byName_.handle(), 1, sqlite3_column_value(row, sourceColumn));
                sqlite3_bind_text(byName_.handle(), 2, other.data(), static_cast<int>(other.size()), SQLITE_TRANSIENT);
                std::vector<Sharer>& sharers = joining.sharers[editedKind];
                while (byName_.nextRowChecked()) {
                    ++rowsRead;
                    const std::int64_t found = sqlite3_column_int64(byName_.handle(), rowidColumn);
                    readTwinKeys(byName_.handle(), otherKeys_);
                    if (found != rowid && (otherKeys_.editedSelf == edited || otherKeys_.editedLookup == edited)) {
                        sharers.push_back({found, otherKeys_.editedSelf == edited});
                    }
                }
            }
        }
        return joining;
    }

    std::int64_t rowsRead = 0;

private:
    template<typename Shares>
    void collect(sqlite::Statement& lookup, std::int64_t self, Shares shares, std::vector<Sharer>& sharers)
    {
        while (lookup.nextRowChecked()) {
            ++rowsRead;
            const std::int64_t found = sqlite3_column_int64(lookup.handle(), rowidColumn);
            readTwinKeys(lookup.handle(), otherKeys_);
            if (found != self && shares(otherKeys_)) {
                sharers.push_back({found, false});
            }
        }
    }

    sqlite::Statement byRowid_;
    sqlite::Statement byContent_;
    sqlite::Statement byFile_;
    sqlite::Statement byName_;
    TwinKeys otherKeys_;
};

} // namespace

const std::array<const char*, 3> DuplicateCandidates::indexWalks = {
    "SELECT rowid,thumbnail_key FROM media WHERE thumbnail_key IS NOT NULL ORDER BY thumbnail_key",
    "SELECT rowid,file_size,kind,captured FROM media ORDER BY file_size,kind,captured",
    "SELECT rowid,source_id,name FROM media",
};

DuplicateCandidates::DuplicateCandidates(CatalogReaders& readers)
{
    // Supersets first, from the indexes alone: the same media key, the same
    // size, kind and date (the file rule also compares dimensions and keys),
    // the same source and IMG_E name. Each walk has a connection of its own.
    std::array<std::vector<std::int64_t>, indexWalks.size()> found;
    std::array<std::int64_t, indexWalks.size()> walked{};
    readers.forEach(found.size(), found.size(), [&found, &walked](sqlite3* db, std::size_t walk) {
        walked[walk] = walk == 2 ? addEditedPairs(db, found[walk])
                                 : addRowsWithEqualKeys(db, indexWalks[walk], walk == 0 ? 1 : 3, found[walk]);
    });
    for (std::size_t walk = 0; walk < found.size(); ++walk) {
        rowids_.insert(rowids_.end(), found[walk].begin(), found[walk].end());
        rowsRead_ += walked[walk];
    }
    std::sort(rowids_.begin(), rowids_.end());
    rowids_.erase(std::unique(rowids_.begin(), rowids_.end()), rowids_.end());

    quickBits_.assign(quickBitWords, 0);
    for (const std::int64_t rowid : rowids_) {
        const auto [word, bit] = quickBit(rowid);
        quickBits_[word] |= bit;
    }

    // Only those rows are read whole, in ranges on several connections, and
    // numbered here in rowid order.
    const std::size_t ranges = std::min(rowids_.size(), readers.width() * rangesPerReader);
    std::vector<std::vector<FetchedRow>> fetched(ranges);
    readers.forEach(ranges, readers.width(), [this, ranges, &fetched](sqlite3* db, std::size_t range) {
        const std::size_t first = rowids_.size() * range / ranges;
        const std::size_t end = rowids_.size() * (range + 1) / ranges;
        sqlite::Statement refetch(db, std::string(rowColumns).append(" WHERE rowid=?").c_str());
        fetched[range].resize(end - first);
        for (std::size_t at = first; at < end; ++at) {
            refetch.resetForReuse();
            refetch.bindInt64(1, rowids_[at]);
            if (!refetch.nextRowChecked()) {
                throw CatalogError(CatalogError::Kind::step); // the pass saw it in this same state
            }
            FetchedRow& row = fetched[range][at - first];
            readTwinKeys(refetch.handle(), row.keys);
            row.source = plainValue(refetch.handle(), sourceColumn);
            row.id = plainValue(refetch.handle(), idColumn);
        }
    });

    records_.reserve(rowids_.size());
    KeyNumbers contents;
    KeyNumbers files;
    KeyNumbers editedNames; // a copy's own key and a photo's lookup compare with each other
    std::unordered_map<std::string, std::uint32_t> sourceNumbers;
    std::size_t next = 0;
    for (const std::vector<FetchedRow>& rows : fetched) {
        for (const FetchedRow& row : rows) {
            Record& record = records_.emplace_back();
            record.rowid = rowids_[next++];
            record.content = contents.numberOf(row.keys.content);
            record.file = files.numberOf(row.keys.file);
            record.editedSelf = editedNames.numberOf(row.keys.editedSelf);
            record.editedLookup = editedNames.numberOf(row.keys.editedLookup);
            identify(record, row.source, row.id, sourceNumbers);
        }
    }
    rowsRead_ += static_cast<std::int64_t>(rowids_.size());
    nextNumber_ = {contents.next(), files.next(), editedNames.next()};
}

void DuplicateCandidates::identify(Record& record, const std::string& source, const std::string& id,
                                   std::unordered_map<std::string, std::uint32_t>& sourceNumbers)
{
    const auto [number, added] = sourceNumbers.try_emplace(source, static_cast<std::uint32_t>(sources_.size()));
    if (added) {
        sources_.push_back(source);
    }
    record.source = number->second;
    if (!id.empty()) {
        record.idOffset = static_cast<std::uint32_t>(ids_.size());
        record.idLength = static_cast<std::int32_t>(id.size());
        ids_.append(id);
    }
}

const DuplicateCandidates::Record* DuplicateCandidates::recordOf(std::int64_t rowid) const
{
    const auto at = std::lower_bound(rowids_.begin(), rowids_.end(), rowid);
    return at == rowids_.end() || *at != rowid ? nullptr : &records_[static_cast<std::size_t>(at - rowids_.begin())];
}

bool DuplicateCandidates::contains(std::int64_t rowid) const
{
    const auto [word, bit] = quickBit(rowid);
    return (quickBits_[word] & bit) != 0 && std::binary_search(rowids_.begin(), rowids_.end(), rowid);
}

std::vector<std::int64_t> DuplicateCandidates::hiddenAmong(std::vector<std::int64_t> rowsInScope,
                                                           const QList<QUuid>& offlineSources) const
{
    std::vector<int> sourceRanks(sources_.size(), 0);
    for (const QUuid& offline : offlineSources) {
        const std::string text = static_cast<char>(textTag) + uuidString(offline).toStdString();
        for (std::size_t source = 0; source < sources_.size(); ++source) {
            sourceRanks[source] = sources_[source] == text ? 1 : sourceRanks[source];
        }
    }

    std::sort(rowsInScope.begin(), rowsInScope.end());
    std::vector<const Record*> records;
    std::vector<Ranked> ranked;
    records.reserve(rowsInScope.size());
    ranked.reserve(rowsInScope.size());
    for (const std::int64_t rowid : rowsInScope) {
        const auto at = std::lower_bound(rowids_.begin(), rowids_.end(), rowid);
        if (at == rowids_.end() || *at != rowid) {
            continue;
        }
        const Record& record = records_[static_cast<std::size_t>(at - rowids_.begin())];
        records.push_back(&record);
        ranked.push_back({rowid, sourceRanks[record.source],
                          record.idLength < 0 ? std::string_view()
                                              : std::string_view(ids_).substr(record.idOffset,
                                                                              static_cast<std::size_t>(record.idLength))});
    }

    std::unordered_map<std::uint32_t, Preferred> contentGroups;
    std::unordered_map<std::uint32_t, FileGroup> fileGroups;
    std::unordered_set<std::uint32_t> editedCopies;
    for (std::size_t at = 0; at < records.size(); ++at) {
        const Record& record = *records[at];
        if (record.idLength >= 0) {
            if (record.content != 0) {
                contentGroups[record.content].offer(ranked[at]);
            }
            if (record.file != 0) {
                FileGroup& group = fileGroups[record.file];
                group.all.offer(ranked[at]);
                if (record.content == 0) {
                    group.keyless.offer(ranked[at]);
                }
            }
        }
        if (record.editedSelf != 0) {
            editedCopies.insert(record.editedSelf);
        }
    }

    std::vector<std::int64_t> hidden;
    for (std::size_t at = 0; at < records.size(); ++at) {
        const Record& record = *records[at];
        const Ranked& candidate = ranked[at];
        bool isHidden = record.editedLookup != 0 && editedCopies.contains(record.editedLookup);
        if (record.idLength >= 0 && !isHidden) {
            isHidden = record.content != 0 && contentGroups.at(record.content).beats(candidate);
            if (!isHidden && record.file != 0) {
                const FileGroup& group = fileGroups.at(record.file);
                // A row without a key yields to any preferred twin; one with
                // a key only to a preferred twin without one.
                isHidden = record.content == 0 ? group.all.beats(candidate) : group.keyless.beats(candidate);
            }
        }
        if (isHidden) {
            hidden.push_back(record.rowid);
        }
    }
    return hidden;
}

void DuplicateCandidates::update(sqlite3* db, std::vector<std::int64_t> written)
{
    std::sort(written.begin(), written.end());
    written.erase(std::unique(written.begin(), written.end()), written.end());
    const auto isWritten = [&written](std::int64_t rowid) {
        return std::binary_search(written.begin(), written.end(), rowid);
    };
    // What the set knew of the written rows is read again.
    std::vector<std::int64_t> keptRowids;
    std::vector<Record> keptRecords;
    keptRowids.reserve(rowids_.size());
    keptRecords.reserve(records_.size());
    for (std::size_t at = 0; at < rowids_.size(); ++at) {
        if (!isWritten(rowids_[at])) {
            keptRowids.push_back(rowids_[at]);
            keptRecords.push_back(records_[at]);
        }
    }
    rowids_ = std::move(keptRowids);
    records_ = std::move(keptRecords);

    // The written rows that share a key, then the rows they share it with
    // that were no candidates (each of their keys was its own until now),
    // and so on.
    JoiningRows reader(db);
    std::unordered_map<std::int64_t, JoiningRow> joining;
    std::vector<std::int64_t> waiting;
    const auto join = [&](std::int64_t rowid, JoiningRow row) {
        for (const std::vector<Sharer>& sharers : row.sharers) {
            for (const Sharer& sharer : sharers) {
                if (!isWritten(sharer.rowid) && recordOf(sharer.rowid) == nullptr && !joining.contains(sharer.rowid)) {
                    waiting.push_back(sharer.rowid);
                }
            }
        }
        joining.emplace(rowid, std::move(row));
    };
    for (const std::int64_t rowid : written) {
        if (std::optional<JoiningRow> row = reader.read(rowid); row && row->sharesAny()) {
            join(rowid, std::move(*row));
        }
    }
    while (!waiting.empty()) {
        const std::int64_t rowid = waiting.back();
        waiting.pop_back();
        if (!joining.contains(rowid)) {
            if (std::optional<JoiningRow> row = reader.read(rowid)) {
                join(rowid, std::move(*row));
            }
        }
    }
    rowsRead_ += reader.rowsRead;

    // A key takes the number its sharers in the set or already numbered
    // have, else a new one.
    std::unordered_map<std::int64_t, Record> numbered;
    const auto numberOf = [&](const JoiningRow& row, KeyKind kind) -> std::uint32_t {
        for (const Sharer& sharer : row.sharers[kind]) {
            const Record* record = recordOf(sharer.rowid);
            if (record == nullptr) {
                const auto found = numbered.find(sharer.rowid);
                record = found == numbered.end() ? nullptr : &found->second;
            }
            if (record != nullptr) {
                return kind == contentKind ? record->content
                     : kind == fileKind    ? record->file
                     : sharer.asCopy       ? record->editedSelf
                                           : record->editedLookup;
            }
        }
        return nextNumber_[kind]++;
    };
    std::unordered_map<std::string, std::uint32_t> sourceNumbers;
    for (std::uint32_t source = 0; source < sources_.size(); ++source) {
        sourceNumbers.emplace(sources_[source], source);
    }
    for (const auto& [rowid, row] : joining) {
        const TwinKeys& keys = row.row.keys;
        Record record;
        record.rowid = rowid;
        record.content = keys.content.empty() ? 0 : numberOf(row, contentKind);
        record.file = keys.file.empty() ? 0 : numberOf(row, fileKind);
        record.editedSelf = keys.editedSelf.empty() ? 0 : numberOf(row, editedKind);
        record.editedLookup = keys.editedLookup.empty() ? 0 : numberOf(row, editedKind);
        identify(record, row.row.source, row.row.id, sourceNumbers);
        numbered.emplace(rowid, record);
    }

    std::vector<Record> added;
    added.reserve(numbered.size());
    for (const auto& [rowid, record] : numbered) {
        added.push_back(record);
    }
    std::sort(added.begin(), added.end(), [](const Record& a, const Record& b) { return a.rowid < b.rowid; });
    std::vector<Record> merged;
    merged.reserve(records_.size() + added.size());
    std::merge(records_.begin(), records_.end(), added.begin(), added.end(), std::back_inserter(merged),
               [](const Record& a, const Record& b) { return a.rowid < b.rowid; });
    records_ = std::move(merged);
    rowids_.clear();
    for (const Record& record : records_) {
        rowids_.push_back(record.rowid);
    }
    for (const Record& record : added) {
        const auto [word, bit] = quickBit(record.rowid);
        quickBits_[word] |= bit; // a row that left keeps its bit: contains() looks it up
    }
}

} // namespace pivra
