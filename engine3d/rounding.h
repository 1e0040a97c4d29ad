// Real-to-integer conversion of the 3D engine, defined for every input (portable).
#pragma once

#include <cmath>
#include <cstdint>

// To nearest, ties to even, like round_to_int; a NaN or a value outside the
// 32-bit range gives INT32_MIN, the integer-indefinite value the processor's
// own conversion produces.  Points projected from just in front of the eye
// and spans narrower than 3/65536 pixel reach such values, so the engine
// never leaves them to undefined behaviour.
inline int32_t round_or_indefinite(double value)
{
    double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r < 2147483648.0))
        return INT32_MIN;
    return static_cast<int32_t>(r);
}

// 32-bit integer arithmetic that wraps instead of overflowing, as the
// rasterisers' fixed-point steps do.
inline int32_t wrap_mul(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t wrap_add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
