// The real-number helpers every part uses: sine, cosine, rounding (portable).
#pragma once

#include <cmath>
#include <cstdint>

// Real to integer: to nearest, ties to even (the processor's default mode,
// which nothing in the program changes).
inline int32_t round_to_int(double value)
{
    return static_cast<int32_t>(std::nearbyint(value));
}

inline double real_sin(double radians) { return std::sin(radians); }
inline double real_cos(double radians) { return std::cos(radians); }

// from + (to - from) * k / n for 0 <= k <= n, n > 0, divided towards zero
// (as 32-bit wrapping values), exact for any 32-bit ends: the difference is
// split by n first, so no product leaves 64 bits.
inline int32_t interpolate_exact(int32_t from, int32_t to, int64_t k, int64_t n)
{
    const int64_t difference = int64_t(to) - from;
    const int64_t whole = difference / n, rest = difference % n;  // rest takes the difference's sign
    const int64_t part = int64_t(uint64_t(rest < 0 ? -rest : rest) * uint64_t(k) / uint64_t(n));
    return int32_t(uint32_t(int64_t(from) + whole * k + (rest < 0 ? -part : part)));
}
