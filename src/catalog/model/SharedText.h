#pragma once

#include <QUtf8StringView>
#include <QUuid>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pivra {

// The part of an item's text that thousands of items hold alike: the source,
// the folder part of the id ("uuid:/folder/", before the item's name), the
// date origin, the camera and the lens. A gallery of a million items has a
// few thousand distinct ones, so each is kept once in a process-wide table
// and items hold a counted reference; the entry goes with its last reference.
//
// Live entries are unique per value, so two references are to equal values
// exactly when they are the same pointer.
class SharedText {
public:
    struct Values {
        QUuid source;
        QUtf8StringView folder;
        QUtf8StringView dateOrigin;
        std::optional<QUtf8StringView> camera;
        std::optional<QUtf8StringView> lens;
    };

    // The entry holding these values, with one reference for the caller.
    // Safe from any thread.
    static const SharedText* acquire(const Values& values);
    // How many entries the table holds: what the memory counts report.
    static std::size_t entryCount();

    void retain() const { references_.fetch_add(1, std::memory_order_relaxed); }
    // Drops a reference; the last one frees the entry, on whichever thread.
    void release() const;

    const QUuid& source() const { return source_; }
    QUtf8StringView folder() const { return piece(folderText); }
    QUtf8StringView dateOrigin() const { return piece(dateOriginText); }
    std::optional<QUtf8StringView> camera() const;
    std::optional<QUtf8StringView> lens() const;
    // Of the values alone, computed once when the entry is made.
    std::size_t hash() const { return hash_; }

    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;

private:
    enum Text : std::uint8_t { folderText, dateOriginText, cameraText, lensText };
    static constexpr std::size_t textCount = 4;

    SharedText(const Values& values, std::size_t hash);
    ~SharedText() = default;

    static SharedText* make(const Values& values, std::size_t hash);
    static void destroy(const SharedText* entry);
    // A reference, unless the entry's last one is already gone.
    bool tryRetain() const;
    bool holds(const Values& values, std::size_t hash) const;
    QUtf8StringView piece(Text text) const;

    const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }

    mutable std::atomic<std::uint32_t> references_{1};
    bool hasCamera_ = false;
    bool hasLens_ = false;
    std::array<std::uint32_t, textCount> ends_{};
    std::size_t hash_ = 0;
    QUuid source_;
};

} // namespace pivra
