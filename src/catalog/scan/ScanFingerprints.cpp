#include "catalog/scan/ScanFingerprints.h"

#include "platform/folders/FileNameText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace pivra {

namespace {

// Room on the stack for the bytes of a usual key; longer ones take the heap.
constexpr qsizetype keyBufferSize = 512;

// A slot for `hash` among `count` (below 2^32), from the hash's high bits:
// the index is sized to its rows, not to a power of two.
std::size_t slotFor(std::uint64_t hash, std::size_t count)
{
    return static_cast<std::size_t>(((hash >> 32) * count) >> 32);
}

// At most two thirds full, so a probe ends soon at an empty slot.
std::size_t slotCount(std::size_t keys)
{
    return keys + keys / 2 + 1;
}

} // namespace

JoinedText ScanFingerprints::idOf(std::uint32_t entry) const
{
    const Entry& row = entries_[entry];
    if (row.head == wholeHead) {
        const WholeRow& whole = wholeRows_[row.text];
        return {arena_.view(whole.text, whole.idSize), {}};
    }
    return {heads_[row.head], arena_.view(row.text, row.relativeSize)};
}

JoinedText ScanFingerprints::wholeRelativeOf(std::uint32_t entry) const
{
    const WholeRow& whole = wholeRows_[entries_[entry].text];
    const std::size_t textSize = whole.relativeEndsID ? whole.idSize : whole.idSize + whole.relativeSize;
    return {arena_.view(whole.text, textSize).substr(textSize - whole.relativeSize), {}};
}

std::string_view ScanFingerprints::relativeOf(std::uint32_t entry) const
{
    const Entry& row = entries_[entry];
    return row.head == wholeHead ? wholeRelativeOf(entry).first : arena_.view(row.text, row.relativeSize);
}

std::size_t ScanFingerprints::slotOf(const Slots& slots, KeyOf keyOf, JoinedText key) const
{
    // Never full, so the probe ends at an empty slot at the latest.
    for (std::size_t slot = slotFor(key.hash(), slots.size());; slot = slot + 1 == slots.size() ? 0 : slot + 1) {
        const std::uint32_t stored = slots[slot];
        if (stored == 0 || (this->*keyOf)(stored - 1) == key) {
            return slot;
        }
    }
}

void ScanFingerprints::index(Slots& slots, KeyOf keyOf, std::uint32_t entry)
{
    slots[slotOf(slots, keyOf, (this->*keyOf)(entry))] = entry + 1;
}

std::uint32_t ScanFingerprints::find(const Slots& slots, KeyOf keyOf, JoinedText key) const
{
    return slots.empty() ? 0 : slots[slotOf(slots, keyOf, key)];
}

KnownRow ScanFingerprints::known(std::uint32_t entry) const
{
    const Entry& row = entries_[entry];
    return KnownRow{entry, {row.modified, row.fileSize, row.liveChecked}};
}

std::optional<KnownRow> ScanFingerprints::rowByID(std::string_view head, std::string_view relative) const
{
    const std::uint32_t stored = find(byID_, &ScanFingerprints::idOf, {head, relative});
    return stored == 0 ? std::nullopt : std::optional(known(stored - 1));
}

bool ScanFingerprints::relativeIs(std::uint32_t row, std::string_view relative) const
{
    return relativeOf(row) == relative;
}

std::optional<RelativeFingerprint> ScanFingerprints::byRelative(QStringView relative) const
{
    if (relative.isEmpty()) {
        return std::nullopt;
    }
    QVarLengthArray<char, keyBufferSize> buffer(mostFileNameBytes(relative.size()));
    const char* end = writeFileNameBytes(buffer.data(), relative);
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(end - buffer.data()));

    // A row under a head holds the path that follows it in its id; ids are
    // unique, so the row with that id is the one, unless it is another split
    // of the same bytes. Of several rows, the one added last.
    std::uint32_t stored = find(wholeByRelative_, &ScanFingerprints::wholeRelativeOf, {bytes, {}});
    for (std::size_t head = 0; head < heads_.size(); ++head) {
        const std::uint32_t byID = find(byID_, &ScanFingerprints::idOf, {heads_[head], bytes});
        if (byID != 0 && entries_[byID - 1].head == head) {
            stored = std::max(stored, byID);
        }
    }
    if (stored == 0) {
        return std::nullopt;
    }
    const KnownRow row = known(stored - 1);
    return RelativeFingerprint{idAt(row.row), row.fingerprint};
}

QString ScanFingerprints::idAt(std::uint32_t row) const
{
    const JoinedText id = idOf(row);
    std::string joined;
    joined.reserve(id.size());
    joined.append(id.first).append(id.second);
    return fileNameText(QByteArrayView(joined.data(), static_cast<qsizetype>(joined.size())));
}

std::optional<std::uint8_t> ScanFingerprints::Builder::headNumber(std::string_view head)
{
    const std::vector<std::string>& heads = set_.heads_;
    if (lastHead_ < heads.size() && heads[lastHead_] == head) {
        return lastHead_; // rows come folder by folder, mostly under one head
    }
    const auto known = std::find(heads.begin(), heads.end(), head);
    if (known == heads.end() && heads.size() == mostHeads) {
        return std::nullopt;
    }
    lastHead_ = static_cast<std::uint8_t>(known - heads.begin());
    if (known == heads.end()) {
        set_.heads_.emplace_back(head);
    }
    return lastHead_;
}

void ScanFingerprints::Builder::addWhole(Entry entry, std::string_view id, std::string_view relative)
{
    WholeRow whole;
    whole.relativeEndsID = id.ends_with(relative);
    whole.text = set_.arena_.append(id, whole.relativeEndsID ? std::string_view() : relative).place;
    whole.idSize = static_cast<std::uint32_t>(id.size());
    whole.relativeSize = static_cast<std::uint32_t>(relative.size());
    entry.head = wholeHead;
    entry.text = static_cast<std::uint32_t>(set_.wholeRows_.size());
    set_.wholeRows_.push_back(whole);
    set_.entries_.push_back(entry);
}

void ScanFingerprints::Builder::add(std::string_view id, std::string_view relative,
                                    const FileFingerprint& fingerprint)
{
    Entry entry;
    entry.modified = fingerprint.modified;
    entry.fileSize = fingerprint.fileSize;
    entry.liveChecked = fingerprint.liveChecked;
    found_.push_back(true);
    const bool headed = !relative.empty() && relative.size() <= std::numeric_limits<std::uint16_t>::max()
                        && id.ends_with(relative);
    const std::optional<std::uint8_t> head =
        headed ? headNumber(id.substr(0, id.size() - relative.size())) : std::nullopt;
    if (!head) {
        addWhole(entry, id, relative);
        return;
    }
    entry.head = *head;
    entry.text = set_.arena_.append(relative).place;
    entry.relativeSize = static_cast<std::uint16_t>(relative.size());
    set_.entries_.push_back(entry);
}

void ScanFingerprints::Builder::addToInspect(std::string_view id)
{
    found_.push_back(false);
    addWhole(Entry(), id, {});
}

ScanFingerprints ScanFingerprints::Builder::build() &&
{
    const std::size_t count = set_.entries_.size();
    if (count >= std::numeric_limits<std::uint32_t>::max() / 2) {
        throw std::length_error("too many scan fingerprints");
    }
    const std::size_t wholeRelatives = std::ranges::count_if(
        set_.wholeRows_, [](const WholeRow& whole) { return whole.relativeSize != 0; });
    set_.byID_.assign(slotCount(count), 0);
    set_.wholeByRelative_.assign(wholeRelatives == 0 ? 0 : slotCount(wholeRelatives), 0);
    for (std::uint32_t entry = 0; entry < count; ++entry) {
        if (!found_[entry]) {
            continue;
        }
        set_.index(set_.byID_, &ScanFingerprints::idOf, entry);
        const Entry& row = set_.entries_[entry];
        if (row.head == wholeHead && set_.wholeRows_[row.text].relativeSize != 0) {
            set_.index(set_.wholeByRelative_, &ScanFingerprints::wholeRelativeOf, entry);
        }
    }
    found_ = {};
    return std::move(set_);
}

} // namespace pivra
