#include "catalog/scan/ScanFingerprints.h"

#include <QStringEncoder>
#include <QVarLengthArray>

#include <bit>
#include <functional>
#include <limits>
#include <stdexcept>

namespace pivra {

namespace {

// Room on the stack for the UTF-8 of a usual key; longer ones take the heap.
constexpr qsizetype keyBufferSize = 512;

std::size_t hashOf(std::string_view key)
{
    return std::hash<std::string_view>{}(key);
}

} // namespace

std::string_view ScanFingerprints::idOf(const Entry& entry) const
{
    return arena_.view(entry.text, entry.idSize);
}

std::string_view ScanFingerprints::relativeOf(const Entry& entry) const
{
    const std::size_t textSize = entry.relativeEndsID ? entry.idSize : entry.idSize + entry.relativeSize;
    return arena_.view(entry.text, textSize).substr(textSize - entry.relativeSize);
}

std::size_t ScanFingerprints::slotOf(const Slots& slots, KeyOf keyOf, std::string_view key) const
{
    // Never full, so the probe ends at an empty slot at the latest.
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = hashOf(key) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t stored = slots[slot];
        if (stored == 0 || (this->*keyOf)(entries_[stored - 1]) == key) {
            return slot;
        }
    }
}

void ScanFingerprints::index(Slots& slots, KeyOf keyOf, std::uint32_t entry)
{
    slots[slotOf(slots, keyOf, (this->*keyOf)(entries_[entry]))] = entry + 1;
}

std::uint32_t ScanFingerprints::find(const Slots& slots, KeyOf keyOf, std::string_view key) const
{
    return slots.empty() ? 0 : slots[slotOf(slots, keyOf, key)];
}

std::uint32_t ScanFingerprints::find(const Slots& slots, KeyOf keyOf, QStringView key) const
{
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    QVarLengthArray<char, keyBufferSize> utf8(encoder.requiredSpace(key.size()));
    const char* end = encoder.appendToBuffer(utf8.data(), key);
    return find(slots, keyOf, std::string_view(utf8.data(), static_cast<std::size_t>(end - utf8.data())));
}

std::optional<KnownRow> ScanFingerprints::rowByID(std::string_view id) const
{
    const std::uint32_t stored = find(byID_, &ScanFingerprints::idOf, id);
    if (stored == 0) {
        return std::nullopt;
    }
    const Entry& entry = entries_[stored - 1];
    return KnownRow{stored - 1, {entry.modified, entry.fileSize, entry.liveChecked}};
}

bool ScanFingerprints::relativeIs(std::uint32_t row, std::string_view relative) const
{
    return relativeOf(entries_[row]) == relative;
}

std::optional<RelativeFingerprint> ScanFingerprints::byRelative(QStringView relative) const
{
    const std::uint32_t stored = find(byRelative_, &ScanFingerprints::relativeOf, relative);
    if (stored == 0) {
        return std::nullopt;
    }
    const Entry& entry = entries_[stored - 1];
    const std::string_view id = idOf(entry);
    return RelativeFingerprint{QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())),
                               {entry.modified, entry.fileSize, entry.liveChecked}};
}

void ScanFingerprints::Builder::add(std::string_view id, std::string_view relative,
                                    const FileFingerprint& fingerprint)
{
    Entry entry;
    entry.relativeEndsID = id.ends_with(relative);
    entry.text = set_.arena_.append(id, entry.relativeEndsID ? std::string_view() : relative).place;
    entry.idSize = static_cast<std::uint32_t>(id.size());
    entry.relativeSize = static_cast<std::uint32_t>(relative.size());
    entry.modified = fingerprint.modified;
    entry.fileSize = fingerprint.fileSize;
    entry.liveChecked = fingerprint.liveChecked;
    set_.entries_.push_back(entry);
}

void ScanFingerprints::Builder::addToInspect(std::string_view id)
{
    Entry entry;
    entry.text = set_.arena_.append(id).place;
    entry.idSize = static_cast<std::uint32_t>(id.size());
    entry.found = false;
    set_.entries_.push_back(entry);
}

ScanFingerprints ScanFingerprints::Builder::build() &&
{
    const std::size_t count = set_.entries_.size();
    if (count >= std::numeric_limits<std::uint32_t>::max() / 2) {
        throw std::length_error("too many scan fingerprints");
    }
    const std::size_t capacity = std::bit_ceil(count + count / 2 + 1);
    set_.byID_.assign(capacity, 0);
    set_.byRelative_.assign(capacity, 0);
    for (std::uint32_t entry = 0; entry < count; ++entry) {
        if (!set_.entries_[entry].found) {
            continue;
        }
        set_.index(set_.byID_, &ScanFingerprints::idOf, entry);
        if (set_.entries_[entry].relativeSize != 0) {
            set_.index(set_.byRelative_, &ScanFingerprints::relativeOf, entry);
        }
    }
    return std::move(set_);
}

} // namespace pivra
