#pragma once

#include <QStringView>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace pivra {

// UTF-8 text appended to blocks that never move. Growing copies nothing, so
// an arena of a million paths never holds itself twice while it grows, as one
// string that doubles does; it holds little beyond its text: the unused end
// of each block, shorter than the text that did not fit there.
class TextArena {
public:
    // Where an appended text begins.
    struct Place {
        std::uint32_t block = 0;
        std::uint32_t offset = 0;
    };
    struct Appended {
        Place place;
        std::uint32_t size = 0; // bytes
    };

    // Appends the pieces one after the other, in one block.
    Appended append(std::string_view first, std::string_view second = {});
    // Appends `text` encoded as UTF-8.
    Appended append(QStringView text);

    std::string_view view(Place place, std::size_t size) const
    {
        return {blocks_[place.block].get() + place.offset, size};
    }

private:
    // Room for `size` bytes at the end of the last block, which is a new one
    // when they do not fit.
    char* room(std::size_t size);
    Appended commit(std::size_t size);

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t capacity_ = 0; // of the last block
    std::size_t used_ = 0;     // of the last block
};

} // namespace pivra
