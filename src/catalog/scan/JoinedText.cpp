#include "catalog/scan/JoinedText.h"

#include <bit>
#include <cstring>

namespace pivra {

namespace {

// Words of 8 bytes, read as little-endian whatever the machine, so that a
// word read at once and one gathered byte by byte across the pieces agree.
class WordHasher {
public:
    void add(std::string_view piece)
    {
        const char* bytes = piece.data();
        std::size_t left = piece.size();
        for (; left > 0 && gathered_ != 0; --left) {
            gather(*bytes++);
        }
        for (; left >= sizeof(std::uint64_t); left -= sizeof(std::uint64_t), bytes += sizeof(std::uint64_t)) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes, sizeof word);
            if constexpr (std::endian::native == std::endian::big) {
                word = __builtin_bswap64(word);
            }
            mix(word);
        }
        for (; left > 0; --left) {
            gather(*bytes++);
        }
        size_ += piece.size();
    }

    std::uint64_t finish()
    {
        if (gathered_ != 0) {
            mix(partial_);
        }
        // The finaliser of MurmurHash3: every bit of the state reaches the
        // low bits and the high ones, which pick the slot.
        std::uint64_t hash = state_ ^ size_;
        hash ^= hash >> 33;
        hash *= 0xff51afd7ed558ccdULL;
        hash ^= hash >> 33;
        hash *= 0xc4ceb9fe1a85ec53ULL;
        return hash ^ (hash >> 33);
    }

private:
    void gather(char byte)
    {
        partial_ |= std::uint64_t(static_cast<unsigned char>(byte)) << (8 * gathered_);
        if (++gathered_ == sizeof(std::uint64_t)) {
            mix(partial_);
            partial_ = 0;
            gathered_ = 0;
        }
    }

    void mix(std::uint64_t word)
    {
        state_ = std::rotl(state_ ^ (word * 0x87c37b91114253d5ULL), 31) * 0x4cf5ad432745937fULL;
    }

    std::uint64_t state_ = 0x9e3779b97f4a7c15ULL;
    std::uint64_t partial_ = 0;
    unsigned gathered_ = 0;
    std::uint64_t size_ = 0;
};

// Whether `a` followed by `b` equals `c` followed by `d`, given that `a` is
// no longer than `c` and the totals are the same.
bool equalFromShorter(std::string_view a, std::string_view b, std::string_view c, std::string_view d)
{
    const std::size_t overlap = c.size() - a.size();
    return c.starts_with(a) && b.starts_with(c.substr(a.size())) && b.substr(overlap) == d;
}

} // namespace

std::uint64_t JoinedText::hash() const
{
    WordHasher hasher;
    hasher.add(first);
    hasher.add(second);
    return hasher.finish();
}

bool JoinedText::operator==(const JoinedText& other) const
{
    if (size() != other.size()) {
        return false;
    }
    return first.size() <= other.first.size() ? equalFromShorter(first, second, other.first, other.second)
                                              : equalFromShorter(other.first, other.second, first, second);
}

} // namespace pivra
