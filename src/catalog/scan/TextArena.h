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
//
// A text is told by one 32-bit position, counted over blocks of a fixed size
// laid end to end, so that the millions of records that point into an arena
// stay small; the first few blocks are smaller, so that a small arena is
// small, and leave the rest of their positions unused. A text longer than a
// block gets a block of its own that takes up as many positions as it needs.
// An arena holds at most 4 GiB.
class TextArena {
public:
    using Place = std::uint32_t;
    struct Appended {
        Place place = 0;
        std::uint32_t size = 0; // bytes
    };

    // Appends the pieces one after the other, in one block.
    Appended append(std::string_view first, std::string_view second = {});
    // Appends the bytes of the path `text` (fileNameBytes()).
    Appended append(QStringView text);

    std::string_view view(Place place, std::size_t size) const
    {
        return {blocks_[place >> blockBits].get() + (place & (blockSize - 1)), size};
    }

private:
    static constexpr unsigned blockBits = 16;
    static constexpr std::size_t blockSize = std::size_t(1) << blockBits;

    // Room for `size` bytes at the end of the last block, which is a new one
    // when they do not fit.
    char* room(std::size_t size);
    Appended commit(std::size_t size);
    // The entry of the last block: a long text's comes before its empty ones.
    std::size_t lastBlock() const;

    // One entry for each block's worth of positions: a long text's block is
    // followed by empty entries for the positions it takes up beyond the first.
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t capacity_ = 0; // of the last block
    std::size_t used_ = 0;     // of the last block
};

} // namespace pivra
