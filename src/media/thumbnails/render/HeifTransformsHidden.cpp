#include "media/thumbnails/render/HeifTransformsHidden.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>

namespace pivra {
namespace {

// A property type libheif does not know, in place of each one hidden.
constexpr char hiddenType[4] = {'h', 'i', 'd', 'e'};

} // namespace

HeifTransformsHidden::HeifTransformsHidden(MediaFile file, QList<std::int64_t> typeOffsets)
    : file_(std::move(file)), typeOffsets_(std::move(typeOffsets))
{
}

HeifTransformsHidden::~HeifTransformsHidden() = default;

std::unique_ptr<HeifTransformsHidden> HeifTransformsHidden::open(MediaFile& file, QList<std::int64_t> typeOffsets)
{
    static const heif_reader reader{
        .reader_api_version = 1,
        .get_position = &HeifTransformsHidden::position,
        .read = &HeifTransformsHidden::read,
        .seek = &HeifTransformsHidden::seek,
        .wait_for_file_size = [](std::int64_t target, void* self) {
            return target <= static_cast<HeifTransformsHidden*>(self)->file_.size()
                ? heif_reader_grow_status_size_reached
                : heif_reader_grow_status_size_beyond_eof;
        },
    };
    std::unique_ptr<HeifTransformsHidden> hidden(new HeifTransformsHidden(std::move(file), std::move(typeOffsets)));
    hidden->context_.reset(heif_context_alloc());
    if (!hidden->context_
        || heif_context_read_from_reader(hidden->context_.get(), &reader, hidden.get(), nullptr).code != heif_error_Ok) {
        file = std::move(hidden->file_);
        return nullptr;
    }
    return hidden;
}

std::int64_t HeifTransformsHidden::position(void* self)
{
    return static_cast<HeifTransformsHidden*>(self)->position_;
}

int HeifTransformsHidden::read(void* data, std::size_t size, void* self)
{
    auto& hidden = *static_cast<HeifTransformsHidden*>(self);
    const std::int64_t start = hidden.position_;
    if (hidden.file_.read(start, data, std::int64_t(size)) != std::int64_t(size)) {
        return 1;
    }
    hidden.position_ += std::int64_t(size);
    for (const std::int64_t offset : hidden.typeOffsets_) {
        for (std::int64_t at = std::max(offset, start); at < std::min(offset + 4, hidden.position_); ++at) {
            static_cast<char*>(data)[at - start] = hiddenType[at - offset];
        }
    }
    return 0;
}

int HeifTransformsHidden::seek(std::int64_t position, void* self)
{
    static_cast<HeifTransformsHidden*>(self)->position_ = position;
    return 0;
}

} // namespace pivra
