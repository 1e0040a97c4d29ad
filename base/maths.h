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
