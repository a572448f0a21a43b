#include "media/thumbnails/cache/ThumbnailCacheMemory.h"

#include <iterator>

namespace pivra {

ThumbnailMemoryCache::ThumbnailMemoryCache(std::int64_t costLimit) : costLimit_(costLimit) {}

std::int64_t ThumbnailMemoryCache::costOf(const QImage& image)
{
    return std::int64_t(image.width()) * image.height() * 4;
}

QImage ThumbnailMemoryCache::image(const QString& key)
{
    std::lock_guard lock(mutex_);
    const auto found = index_.constFind(key);
    if (found == index_.cend()) {
        return {};
    }
    recency_.splice(recency_.begin(), recency_, found.value());
    return found.value()->image;
}

void ThumbnailMemoryCache::insert(const QString& key, const QImage& image)
{
    const std::int64_t cost = costOf(image);
    std::list<Entry> released; // destroyed after the lock is let go of
    std::lock_guard lock(mutex_);
    removeLocked(key, released);
    if (image.isNull() || cost > costLimit_) {
        return; // would push out everything and still not fit
    }
    recency_.push_front({key, image, cost});
    index_.insert(key, recency_.begin());
    totalCost_ += cost;
    evictLocked(costLimit_, released);
}

void ThumbnailMemoryCache::remove(const QString& key)
{
    std::list<Entry> released;
    std::lock_guard lock(mutex_);
    removeLocked(key, released);
}

void ThumbnailMemoryCache::removeLocked(const QString& key, std::list<Entry>& released)
{
    if (const auto found = index_.constFind(key); found != index_.cend()) {
        totalCost_ -= found.value()->cost;
        released.splice(released.end(), recency_, found.value());
        index_.erase(found);
    }
}

void ThumbnailMemoryCache::clear()
{
    std::list<Entry> released;
    std::lock_guard lock(mutex_);
    released.splice(released.end(), recency_);
    index_.clear();
    totalCost_ = 0;
}

std::int64_t ThumbnailMemoryCache::totalCost() const
{
    std::lock_guard lock(mutex_);
    return totalCost_;
}

void ThumbnailMemoryCache::shrinkTo(std::int64_t bytes)
{
    std::list<Entry> released;
    std::lock_guard lock(mutex_);
    evictLocked(bytes, released);
}

void ThumbnailMemoryCache::evictLocked(std::int64_t limit, std::list<Entry>& released)
{
    while (totalCost_ > limit && !recency_.empty()) {
        const Entry& oldest = recency_.back();
        totalCost_ -= oldest.cost;
        index_.remove(oldest.key);
        released.splice(released.end(), recency_, std::prev(recency_.end()));
    }
}

} // namespace pivra
