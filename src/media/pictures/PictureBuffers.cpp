#include "media/pictures/PictureBuffers.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace pivra {

namespace {

constexpr std::size_t keptBytes = 24 * 1024 * 1024;
// Sizes are rounded up to this, so that a buffer serves tiles of nearby
// sizes, which a justified grid's rows are.
constexpr std::size_t granule = 64 * 1024;

struct Buffer {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t capacity = 0;
};

class Kept {
public:
    static Kept& shared()
    {
        // Never destroyed: a picture may be let go of while the program ends.
        static auto* kept = new Kept;
        return *kept;
    }

    Buffer* take(std::size_t bytes)
    {
        {
            const std::lock_guard guard(lock_);
            // The smallest that fits, and no more than twice as large.
            auto best = free_.end();
            for (auto it = free_.begin(); it != free_.end(); ++it) {
                if ((*it)->capacity >= bytes && (*it)->capacity <= 2 * bytes &&
                    (best == free_.end() || (*it)->capacity < (*best)->capacity)) {
                    best = it;
                }
            }
            if (best != free_.end()) {
                Buffer* found = *best;
                free_.erase(best);
                freeBytes_ -= found->capacity;
                return found;
            }
        }
        const std::size_t capacity = (bytes + granule - 1) / granule * granule;
        return new Buffer{std::make_unique_for_overwrite<std::byte[]>(capacity), capacity};
    }

    void give(Buffer* buffer)
    {
        {
            const std::lock_guard guard(lock_);
            if (freeBytes_ + buffer->capacity <= keptBytes) {
                free_.push_back(buffer);
                freeBytes_ += buffer->capacity;
                return;
            }
        }
        delete buffer;
    }

    void releaseUnused()
    {
        std::vector<Buffer*> unused;
        {
            const std::lock_guard guard(lock_);
            unused.swap(free_);
            freeBytes_ = 0;
        }
        for (Buffer* buffer : unused) {
            delete buffer;
        }
    }

    std::size_t unusedBytes()
    {
        const std::lock_guard guard(lock_);
        return freeBytes_;
    }

private:
    std::mutex lock_;
    std::vector<Buffer*> free_;
    std::size_t freeBytes_ = 0;
};

void giveBack(void* buffer)
{
    Kept::shared().give(static_cast<Buffer*>(buffer));
}

} // namespace

QImage PictureBuffers::image(QSize size)
{
    if (size.isEmpty()) {
        return {};
    }
    const qsizetype line = qsizetype(size.width()) * 4;
    Buffer* buffer = Kept::shared().take(std::size_t(line) * std::size_t(size.height()));
    return QImage(reinterpret_cast<uchar*>(buffer->bytes.get()), size.width(), size.height(), line,
                  QImage::Format_ARGB32_Premultiplied, &giveBack, buffer);
}

void PictureBuffers::releaseUnused()
{
    Kept::shared().releaseUnused();
}

std::size_t PictureBuffers::unusedBytes()
{
    return Kept::shared().unusedBytes();
}

} // namespace pivra
