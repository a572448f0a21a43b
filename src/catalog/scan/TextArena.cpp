#include "catalog/scan/TextArena.h"

#include "platform/folders/FileNameText.h"

#include <algorithm>
#include <stdexcept>

namespace pivra {

namespace {

// Positions are 32-bit: blocks beyond this many cannot be told apart.
constexpr std::size_t mostBlocks = std::size_t(1) << 16;

// The first block: a walk keeps an arena for each folder it walks apart,
// often of a few hundred names, and a full block each would hold several
// times their text. Each next block is twice as large, up to a full one.
constexpr std::size_t firstBlockSize = 4096;

} // namespace

char* TextArena::room(std::size_t size)
{
    if (blocks_.empty() || capacity_ - used_ < size) {
        const std::size_t spanned = std::max<std::size_t>(1, (size + blockSize - 1) / blockSize);
        if (blocks_.size() + spanned > mostBlocks) {
            throw std::length_error("text arena full");
        }
        const std::size_t grown = blocks_.empty() ? firstBlockSize : std::min(capacity_ * 2, blockSize);
        capacity_ = spanned > 1 ? spanned * blockSize : std::max(grown, size);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
        blocks_.resize(blocks_.size() + spanned - 1);
        used_ = 0;
    }
    return blocks_[lastBlock()].get() + used_;
}

std::size_t TextArena::lastBlock() const
{
    return blocks_.size() - std::max<std::size_t>(1, capacity_ / blockSize);
}

TextArena::Appended TextArena::commit(std::size_t size)
{
    const std::size_t first = lastBlock();
    const Appended appended{static_cast<Place>((first << blockBits) + used_), static_cast<std::uint32_t>(size)};
    // Past its first positions, a long text's block holds nothing more.
    used_ = capacity_ > blockSize ? capacity_ : used_ + size;
    return appended;
}

TextArena::Appended TextArena::append(std::string_view first, std::string_view second)
{
    std::ranges::copy(second, std::ranges::copy(first, room(first.size() + second.size())).out);
    return commit(first.size() + second.size());
}

TextArena::Appended TextArena::append(QStringView text)
{
    char* start = room(static_cast<std::size_t>(mostFileNameBytes(text.size())));
    return commit(static_cast<std::size_t>(writeFileNameBytes(start, text) - start));
}

} // namespace pivra
