#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pivra {

// Text given as two pieces, hashed and compared as if they were one string,
// so that a key kept in parts need not be made whole to be looked up: where
// the pieces meet makes no difference.
struct JoinedText {
    std::string_view first;
    std::string_view second;

    std::size_t size() const { return first.size() + second.size(); }
    // The same for every split of the same bytes.
    std::uint64_t hash() const;
    bool operator==(const JoinedText& other) const;
};

} // namespace pivra
