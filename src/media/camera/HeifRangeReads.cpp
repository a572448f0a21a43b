#include "media/camera/HeifRangeReads.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace pivra {
namespace {

// libheif reads box by box, often a few bytes at a time; a device answers
// each read only after a round trip, so bytes are asked in blocks.
constexpr std::int64_t blockBytes = 16 * 1024;

// The file as libheif sees it: a position, and blocks read once each.
struct BlockReader {
    std::int64_t fileSize = 0;
    const IsoByteReader& read;
    const RangeKeeper& keep;
    std::int64_t position = 0;
    std::map<std::int64_t, QByteArray> blocks; // by their first byte
    bool failed = false;

    const QByteArray* block(std::int64_t start)
    {
        if (const auto found = blocks.find(start); found != blocks.end()) {
            return &found->second;
        }
        const std::optional<QByteArray> bytes = read(start, std::min(blockBytes, fileSize - start));
        if (!bytes || bytes->isEmpty() || !keep(start, *bytes)) {
            failed = true;
            return nullptr;
        }
        return &blocks.emplace(start, *bytes).first->second;
    }

    bool copy(char* data, std::int64_t length)
    {
        if (length < 0 || position + length > fileSize) {
            return false;
        }
        while (length > 0) {
            const std::int64_t start = position / blockBytes * blockBytes;
            const QByteArray* bytes = block(start);
            const std::int64_t inside = position - start;
            if (bytes == nullptr || inside >= bytes->size()) {
                return false;
            }
            const std::int64_t taken = std::min(length, std::int64_t(bytes->size()) - inside);
            std::memcpy(data, bytes->constData() + inside, std::size_t(taken));
            data += taken;
            position += taken;
            length -= taken;
        }
        return true;
    }
};

BlockReader& from(void* userdata) { return *static_cast<BlockReader*>(userdata); }

const heif_reader blockReader{
    1,
    [](void* userdata) { return from(userdata).position; },
    [](void* data, size_t size, void* userdata) {
        return from(userdata).copy(static_cast<char*>(data), std::int64_t(size)) ? 0 : 1;
    },
    [](std::int64_t position, void* userdata) {
        BlockReader& reader = from(userdata);
        if (position < 0 || position > reader.fileSize) {
            return 1;
        }
        reader.position = position;
        return 0;
    },
    [](std::int64_t target, void* userdata) {
        return target <= from(userdata).fileSize ? heif_reader_grow_status_size_reached
                                                 : heif_reader_grow_status_size_beyond_eof;
    },
};

} // namespace

bool readHeifMetadata(std::int64_t fileSize, const IsoByteReader& read, const RangeKeeper& keep)
{
    BlockReader reader{fileSize, read, keep};
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                               heif_context_free);
    heif_image_handle* rawHandle = nullptr;
    if (!context || heif_context_read_from_reader(context.get(), &blockReader, &reader, nullptr).code != heif_error_Ok
        || heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
        return false;
    }
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(rawHandle,
                                                                                        heif_image_handle_release);
    const int count = heif_image_handle_get_number_of_metadata_blocks(rawHandle, nullptr);
    std::vector<heif_item_id> items(std::size_t(std::max(count, 0)));
    heif_image_handle_get_list_of_metadata_block_IDs(rawHandle, nullptr, items.data(), count);
    for (const heif_item_id item : items) {
        // Read for its bytes alone: they are kept where the inspection finds them.
        std::vector<std::uint8_t> bytes(heif_image_handle_get_metadata_size(rawHandle, item));
        heif_image_handle_get_metadata(rawHandle, item, bytes.data());
    }
    return !reader.failed;
}

} // namespace pivra
