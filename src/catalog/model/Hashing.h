#pragma once

#include <QHashFunctions>
#include <cstddef>
#include <cstring>
#include <optional>

namespace pivra::hashing {

// Order-sensitive combination of field hashes: the model types feed their
// fields in declaration order, so swapping two fields changes the hash.
inline void combine(std::size_t& seed, std::size_t value)
{
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template<typename T>
void feed(std::size_t& seed, const T& value)
{
    using ::qHash; // fundamental types have no associated namespace for ADL
    combine(seed, qHash(value));
}

// Doubles feed their bit pattern; both zeros hash as 0 because they compare equal.
inline void feed(std::size_t& seed, double value)
{
    if (value == 0.0) {
        combine(seed, 0);
        return;
    }
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    combine(seed, static_cast<std::size_t>(bits));
}

// An optional feeds a presence flag and, when present, its value, so an absent
// value and a present default value hash apart.
template<typename T>
void feed(std::size_t& seed, const std::optional<T>& value)
{
    combine(seed, value.has_value() ? 1 : 0);
    if (value) {
        feed(seed, *value);
    }
}

} // namespace pivra::hashing
