#pragma once

#include <chrono>

namespace pivra {

// A point in time as seconds since 1970-01-01 00:00 UTC, exactly as the catalog
// stores it. QDateTime keeps only milliseconds, which would break the equality
// tests that unchanged-file detection and neighbour paging rely on, so dates in
// the model stay doubles and become QDateTime only for display.
using Timestamp = double;

// This moment, to the clock's full precision.
inline Timestamp currentTimestamp()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// 0001-01-01 00:00:00 UTC: the date a file without any date of its own gets.
inline constexpr Timestamp distantPast = -62135596800.0;

} // namespace pivra
