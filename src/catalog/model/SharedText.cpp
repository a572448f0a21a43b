#include "catalog/model/SharedText.h"

#include "catalog/model/Hashing.h"

#include <QByteArrayView>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace pivra {

namespace {

// The entries by the hash of their values. An entry whose last reference has
// gone stays listed until its releasing thread takes it out; a lookup that
// meets it meanwhile lists a new one in its place.
struct Table {
    std::mutex mutex;
    std::unordered_multimap<std::size_t, const SharedText*> entries;
};

// Never destroyed: items in static storage and threads still ending may
// release entries after static destruction has begun.
Table& table()
{
    static Table* const instance = new Table;
    return *instance;
}

// The last entries this thread asked for, each with a reference of its own.
// Rows come in date order, so neighbours share a folder and most lookups end
// here without taking the table's lock.
struct RecentEntries {
    static constexpr std::size_t size = 4;
    std::array<const SharedText*, size> entries{};
    std::size_t next = 0;

    RecentEntries() = default;
    RecentEntries(const RecentEntries&) = delete;
    RecentEntries& operator=(const RecentEntries&) = delete;
    ~RecentEntries()
    {
        for (const SharedText* entry : entries) {
            if (entry != nullptr) {
                entry->release();
            }
        }
    }

    // Keeps `entry`, which the caller has a reference to, giving back the
    // oldest one kept.
    void remember(const SharedText* entry)
    {
        entry->retain();
        const SharedText* dropped = std::exchange(entries[next], entry);
        next = (next + 1) % size;
        if (dropped != nullptr) {
            dropped->release();
        }
    }
};

thread_local RecentEntries recent;

std::size_t hashOf(const SharedText::Values& values)
{
    std::size_t hash = 0;
    const auto text = [&hash](QUtf8StringView bytes) {
        hashing::combine(hash, qHash(QByteArrayView(bytes.data(), bytes.size())));
    };
    const auto optionalText = [&](const std::optional<QUtf8StringView>& bytes) {
        hashing::combine(hash, bytes ? 1 : 0);
        if (bytes) {
            text(*bytes);
        }
    };
    hashing::feed(hash, values.source);
    text(values.folder);
    text(values.dateOrigin);
    optionalText(values.camera);
    optionalText(values.lens);
    return hash;
}

bool sameText(QUtf8StringView held, QUtf8StringView wanted)
{
    // An empty view may point nowhere, which memcmp must not be given.
    return held.size() == wanted.size()
           && (held.isEmpty() || std::memcmp(held.data(), wanted.data(), std::size_t(held.size())) == 0);
}

bool sameText(const std::optional<QUtf8StringView>& held, const std::optional<QUtf8StringView>& wanted)
{
    return held.has_value() == wanted.has_value() && (!held || sameText(*held, *wanted));
}

} // namespace

SharedText::SharedText(const Values& values, std::size_t hash)
    : hasCamera_(values.camera.has_value()), hasLens_(values.lens.has_value()), hash_(hash), source_(values.source)
{
    const std::array<QUtf8StringView, textCount> texts = {values.folder, values.dateOrigin,
                                                           values.camera.value_or(QUtf8StringView()),
                                                           values.lens.value_or(QUtf8StringView())};
    char* const out = reinterpret_cast<char*>(this + 1);
    std::uint32_t end = 0;
    for (std::size_t text = 0; text < textCount; ++text) {
        if (!texts[text].isEmpty()) {
            std::memcpy(out + end, texts[text].data(), std::size_t(texts[text].size()));
        }
        end += std::uint32_t(texts[text].size());
        ends_[text] = end;
    }
}

SharedText* SharedText::make(const Values& values, std::size_t hash)
{
    const std::size_t total = std::size_t(values.folder.size()) + std::size_t(values.dateOrigin.size())
                              + std::size_t(values.camera.value_or(QUtf8StringView()).size())
                              + std::size_t(values.lens.value_or(QUtf8StringView()).size());
    if (total > UINT32_MAX) {
        throw std::length_error("shared media text too long");
    }
    return new (::operator new(sizeof(SharedText) + total)) SharedText(values, hash);
}

void SharedText::destroy(const SharedText* entry)
{
    entry->~SharedText();
    ::operator delete(const_cast<SharedText*>(entry));
}

const SharedText* SharedText::acquire(const Values& values)
{
    const std::size_t hash = hashOf(values);
    for (const SharedText* entry : recent.entries) {
        if (entry != nullptr && entry->holds(values, hash)) {
            entry->retain();
            return entry;
        }
    }
    const SharedText* found = nullptr;
    {
        Table& shared = table();
        const std::lock_guard lock(shared.mutex);
        auto [at, end] = shared.entries.equal_range(hash);
        for (; at != end; ++at) {
            if (at->second->holds(values, hash)) {
                if (at->second->tryRetain()) {
                    found = at->second;
                } else {
                    shared.entries.erase(at);
                }
                break;
            }
        }
        if (found == nullptr) {
            found = make(values, hash);
            shared.entries.emplace(hash, found);
        }
    }
    recent.remember(found);
    return found;
}

std::size_t SharedText::entryCount()
{
    Table& shared = table();
    const std::lock_guard lock(shared.mutex);
    return shared.entries.size();
}

void SharedText::release() const
{
    if (references_.fetch_sub(1, std::memory_order_acq_rel) != 1) {
        return;
    }
    {
        Table& shared = table();
        const std::lock_guard lock(shared.mutex);
        auto [at, end] = shared.entries.equal_range(hash_);
        for (; at != end; ++at) {
            if (at->second == this) {
                shared.entries.erase(at);
                break;
            }
        }
    }
    destroy(this);
}

bool SharedText::tryRetain() const
{
    std::uint32_t count = references_.load(std::memory_order_relaxed);
    while (count != 0) {
        if (references_.compare_exchange_weak(count, count + 1, std::memory_order_relaxed)) {
            return true;
        }
    }
    return false;
}

bool SharedText::holds(const Values& values, std::size_t hash) const
{
    return hash_ == hash && source_ == values.source && sameText(folder(), values.folder)
           && sameText(dateOrigin(), values.dateOrigin) && sameText(camera(), values.camera)
           && sameText(lens(), values.lens);
}

QUtf8StringView SharedText::piece(Text text) const
{
    const std::uint32_t start = text == 0 ? 0 : ends_[text - 1];
    return {bytes() + start, qsizetype(ends_[text] - start)};
}

std::optional<QUtf8StringView> SharedText::camera() const
{
    return hasCamera_ ? std::optional(piece(cameraText)) : std::nullopt;
}

std::optional<QUtf8StringView> SharedText::lens() const
{
    return hasLens_ ? std::optional(piece(lensText)) : std::nullopt;
}

} // namespace pivra
