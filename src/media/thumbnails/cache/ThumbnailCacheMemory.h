#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include <cstdint>
#include <list>
#include <mutex>

namespace pivra {

// Decoded thumbnails by key, bounded by a cost of width × height × 4 each,
// not by their number. The cost counts four bytes a pixel whatever the
// format, so the three-byte thumbnails the store decodes take three quarters
// of it in memory. The least recently used entries go
// first when an insertion passes the limit. Safe from any thread: QImage is
// implicitly shared and its copies cross threads freely. Its mutex is never
// held while the caller holds another lock of the store, nor the other way,
// nor while an image is freed: freeing a thumbnail unmaps its memory, which
// waits on the process's memory-map lock, and the GUI thread looks up every
// tile it binds here.
class ThumbnailMemoryCache {
public:
    explicit ThumbnailMemoryCache(std::int64_t costLimit);

    // A null image when the key is absent; a hit becomes the most recent.
    QImage image(const QString& key);
    void insert(const QString& key, const QImage& image);
    void remove(const QString& key);
    void clear();
    // Lets the least recently used entries go until at most `bytes` are kept.
    void shrinkTo(std::int64_t bytes);

    std::int64_t totalCost() const;
    std::int64_t costLimit() const { return costLimit_; }

    static std::int64_t costOf(const QImage& image);

private:
    struct Entry {
        QString key;
        QImage image;
        std::int64_t cost;
    };

    // Both move what they let go of into `released`, which the caller
    // destroys once the mutex is unlocked.
    void removeLocked(const QString& key, std::list<Entry>& released);
    void evictLocked(std::int64_t limit, std::list<Entry>& released);

    const std::int64_t costLimit_;
    mutable std::mutex mutex_;
    std::list<Entry> recency_; // most recent first
    QHash<QString, std::list<Entry>::iterator> index_;
    std::int64_t totalCost_ = 0;
};

} // namespace pivra
