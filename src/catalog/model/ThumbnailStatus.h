#pragma once

namespace pivra {

// The thumbnail counters of one source; equal when all four are equal.
struct ThumbnailStatus {
    int total = 0;
    int ready = 0;
    int pending = 0;
    int failed = 0;

    bool operator==(const ThumbnailStatus&) const = default;
};

} // namespace pivra
