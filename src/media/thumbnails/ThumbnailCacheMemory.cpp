#include "media/thumbnails/ThumbnailCacheMemory.h"

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
    std::lock_guard lock(mutex_);
    removeLocked(key);
    if (image.isNull() || cost > costLimit_) {
        return; // would push out everything and still not fit
    }
    recency_.push_front({key, image, cost});
    index_.insert(key, recency_.begin());
    totalCost_ += cost;
    evictLocked(costLimit_);
}

void ThumbnailMemoryCache::remove(const QString& key)
{
    std::lock_guard lock(mutex_);
    removeLocked(key);
}

void ThumbnailMemoryCache::removeLocked(const QString& key)
{
    if (const auto found = index_.constFind(key); found != index_.cend()) {
        totalCost_ -= found.value()->cost;
        recency_.erase(found.value());
        index_.erase(found);
    }
}

void ThumbnailMemoryCache::clear()
{
    std::lock_guard lock(mutex_);
    recency_.clear();
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
    std::lock_guard lock(mutex_);
    evictLocked(bytes);
}

void ThumbnailMemoryCache::evictLocked(std::int64_t limit)
{
    while (totalCost_ > limit && !recency_.empty()) {
        const Entry& oldest = recency_.back();
        totalCost_ -= oldest.cost;
        index_.remove(oldest.key);
        recency_.pop_back();
    }
}

} // namespace pivra
