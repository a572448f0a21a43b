#pragma once

// Frame times of a painting benchmark, reported as the median frame with its
// 95th percentile and the frames over 16 ms.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace pivra::bench {

inline void reportFrames(benchmark::State& state, std::vector<double> milliseconds)
{
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters["frames"] = double(milliseconds.size());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters["p95_ms"] = milliseconds[milliseconds.size() * 95 / 100];
    state.counters["over_16ms"] = double(std::count_if(milliseconds.begin(), milliseconds.end(),
                                                       [](double ms) { return ms > 16; }));
}

} // namespace pivra::bench
