#include "catalog/scan/TextArena.h"

#include <QStringEncoder>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace pivra {

namespace {

// Large enough that the blocks' unused ends are a small share, small enough
// that a source of a few files does not pay much for its first block.
constexpr std::size_t blockSize = 64 * 1024;

} // namespace

char* TextArena::room(std::size_t size)
{
    if (blocks_.empty() || capacity_ - used_ < size) {
        if (size > std::numeric_limits<std::uint32_t>::max()
            || blocks_.size() >= std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("text arena full");
        }
        capacity_ = std::max(blockSize, size);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
        used_ = 0;
    }
    return blocks_.back().get() + used_;
}

TextArena::Appended TextArena::commit(std::size_t size)
{
    const Appended appended{{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(used_)},
                            static_cast<std::uint32_t>(size)};
    used_ += size;
    return appended;
}

TextArena::Appended TextArena::append(std::string_view first, std::string_view second)
{
    std::ranges::copy(second, std::ranges::copy(first, room(first.size() + second.size())).out);
    return commit(first.size() + second.size());
}

TextArena::Appended TextArena::append(QStringView text)
{
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    char* start = room(static_cast<std::size_t>(encoder.requiredSpace(text.size())));
    return commit(static_cast<std::size_t>(encoder.appendToBuffer(start, text) - start));
}

} // namespace pivra
