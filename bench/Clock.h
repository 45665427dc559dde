#pragma once

#include <chrono>
#include <cstdint>

// Every time the benchmark takes comes from this one monotonic clock, in one
// process: trigger stamps and arrival stamps are directly comparable.
namespace bench {

inline std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr std::int64_t kNsPerMs = 1000 * 1000;
constexpr std::int64_t kNsPerSecond = 1000 * kNsPerMs;

} // namespace bench
